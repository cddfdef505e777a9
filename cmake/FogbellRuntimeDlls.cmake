# The DLLs a Windows program of the build loads that Windows itself does not have (the
# toolchain's runtime, Qt, SDL and what they load in turn) go beside the programs, so that the
# installed folder, and the zip made of it, runs on any Windows machine.

# fogbell_find_runtime_dlls(OUT_VAR NAMES name... FOLDERS folder...)
# Sets OUT_VAR to the full path of each NAME in the first FOLDER that holds it. A NAME may lie
# in a subfolder (platforms/qwindows.dll for a Qt plug-in). Stops the configuration with an
# error naming every NAME that no FOLDER holds.
function(fogbell_find_runtime_dlls out)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "NAMES;FOLDERS")
    set(found)
    set(missing)
    foreach(name IN LISTS arg_NAMES)
        set(path)
        foreach(folder IN LISTS arg_FOLDERS)
            if(EXISTS "${folder}/${name}")
                set(path "${folder}/${name}")
                break()
            endif()
        endforeach()
        if(path)
            list(APPEND found "${path}")
        else()
            list(APPEND missing "${name}")
        endif()
    endforeach()
    if(missing)
        list(JOIN missing ", " missing_text)
        list(JOIN arg_FOLDERS ", " folders_text)
        message(FATAL_ERROR "Windows runtime DLL not found: ${missing_text} "
            "(looked in: ${folders_text})")
    endif()
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

# fogbell_install_runtime_dlls(DESTINATION dir [TARGETS imported...] [NAMES name...]
#                              [FOLDERS folder...])
# Installs the DLL of every imported library target of TARGETS, and each NAME found in FOLDERS
# (as fogbell_find_runtime_dlls finds it), into DESTINATION; a NAME in a subfolder keeps that
# subfolder there. A target that does not exist stops the configuration, naming it. An
# install that strips the programs (CPack's) strips these DLLs of debug information too.
function(fogbell_install_runtime_dlls)
    cmake_parse_arguments(PARSE_ARGV 0 arg "" "DESTINATION" "TARGETS;NAMES;FOLDERS")
    foreach(target IN LISTS arg_TARGETS)
        if(NOT TARGET ${target})
            message(FATAL_ERROR "Windows runtime DLL: no imported target ${target}")
        endif()
    endforeach()
    set(installed)
    if(arg_TARGETS)
        install(IMPORTED_RUNTIME_ARTIFACTS ${arg_TARGETS}
            RUNTIME DESTINATION ${arg_DESTINATION} LIBRARY DESTINATION ${arg_DESTINATION})
        foreach(target IN LISTS arg_TARGETS)
            list(APPEND installed "$<TARGET_FILE_NAME:${target}>")
        endforeach()
    endif()
    fogbell_find_runtime_dlls(paths NAMES ${arg_NAMES} FOLDERS ${arg_FOLDERS})
    foreach(name path IN ZIP_LISTS arg_NAMES paths)
        get_filename_component(subfolder "${name}" DIRECTORY)
        install(FILES "${path}" DESTINATION "${arg_DESTINATION}/${subfolder}")
        list(APPEND installed "${name}")
    endforeach()
    foreach(file IN LISTS installed)
        install(CODE "if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${arg_DESTINATION}/${file}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endif()")
    endforeach()
endfunction()
