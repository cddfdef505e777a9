# The DLLs that Fogbell's Windows programs load beside them: Qt's libraries and the plug-ins Qt
# loads from folders beside the program (platforms/, imageformats/, styles/, tls/), SDL2, and the
# MinGW C++ runtime that Qt's DLLs are built with. They are staged under bin/ as they are
# installed, so that the build tree runs as the unpacked package does (the tests under Wine
# included), and installed with the programs. The lists are the whole truth of what a package
# holds: tools/check-windows-zip.sh checks the unpacked zip against the imports of every
# program, plug-in and DLL in it, so that a DLL missing or one too many is found.
if(NOT WIN32 OR NOT TARGET fogbell)
    return()
endif()

# NAME=FOLDER pairs: the file NAME from FOLDER, staged and installed at the program's folder or
# in the sub-folder NAME names.
get_filename_component(fogbell_qt_prefix "${Qt6_DIR}/../../.." REALPATH)
find_package(SDL2 REQUIRED)
get_target_property(fogbell_sdl_dll SDL2::SDL2 IMPORTED_LOCATION_RELEASE)
if(NOT fogbell_sdl_dll)
    get_target_property(fogbell_sdl_dll SDL2::SDL2 IMPORTED_LOCATION)
endif()
get_filename_component(fogbell_sdl_bin "${fogbell_sdl_dll}" DIRECTORY)
set(fogbell_runtime_files
    Qt6Core.dll=${fogbell_qt_prefix}/bin
    Qt6Gui.dll=${fogbell_qt_prefix}/bin
    Qt6Widgets.dll=${fogbell_qt_prefix}/bin
    Qt6Network.dll=${fogbell_qt_prefix}/bin
    platforms/qwindows.dll=${fogbell_qt_prefix}/plugins
    imageformats/qjpeg.dll=${fogbell_qt_prefix}/plugins
    styles/qwindowsvistastyle.dll=${fogbell_qt_prefix}/plugins
    tls/qschannelbackend.dll=${fogbell_qt_prefix}/plugins
    SDL2.dll=${fogbell_sdl_bin})
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
        OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(runtime_dir "${runtime_path}" DIRECTORY)
    list(APPEND fogbell_runtime_files ${runtime}=${runtime_dir})
endforeach()
# Only the tests need these: Qt's offscreen platform and its test library.
set(fogbell_test_runtime_files
    platforms/qoffscreen.dll=${fogbell_qt_prefix}/plugins
    Qt6Test.dll=${fogbell_qt_prefix}/bin)

set(staged_runtime)
foreach(entry IN LISTS fogbell_runtime_files fogbell_test_runtime_files)
    string(REPLACE "=" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 folder)
    if(NOT EXISTS "${folder}/${name}")
        message(FATAL_ERROR "The Windows build needs ${name}, not found in ${folder}")
    endif()
    add_custom_command(OUTPUT ${FOGBELL_STAGE_DIR}/${name}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${folder}/${name} ${FOGBELL_STAGE_DIR}/${name}
        DEPENDS ${folder}/${name}
        VERBATIM)
    list(APPEND staged_runtime ${FOGBELL_STAGE_DIR}/${name})
    if(entry IN_LIST fogbell_runtime_files)
        get_filename_component(subfolder "${name}" DIRECTORY)
        install(FILES ${folder}/${name} DESTINATION ${FOGBELL_INSTALL_DIR}/${subfolder})
        # An install that strips the programs (CPack's) strips these of debug information too:
        # the toolchain's libstdc++ carries some 20 MB of it.
        install(CODE "if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${FOGBELL_INSTALL_DIR}/${name}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endif()")
    endif()
endforeach()
add_custom_target(fogbell_stage_runtime ALL DEPENDS ${staged_runtime})
add_dependencies(fogbell fogbell_stage_runtime)
