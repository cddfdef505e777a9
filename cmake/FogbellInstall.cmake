# cmake --install: the program keeps the folder it has in the build tree, so that it finds its
# plug-ins and its picture beside itself wherever it is installed:
#   PREFIX/lib/fogbell/            fogbell, fogbell-cli, pic.jpg, explore_plugins/, decode_plugins/
#   PREFIX/bin/fogbell, fogbell-cli  symbolic links into that folder
#   PREFIX/share/applications/fogbell.desktop and the icon in share/icons/hicolor/128x128/apps/
#   PREFIX/share/mime/packages/fogbell.xml: the six file types for the shared MIME database
#     (the desktop entry's MimeType names them)
# The settings go beside the program when its folder is writable, else to ~/.config/fogbell.
if(WIN32)
    # Windows: the program's folder is PREFIX itself.
    set(FOGBELL_INSTALL_DIR .)
else()
    set(FOGBELL_INSTALL_DIR lib/fogbell)
endif()
set(fogbell_programs fogbell-cli)
if(TARGET fogbell)
    list(APPEND fogbell_programs fogbell)
endif()

install(TARGETS ${fogbell_programs} RUNTIME DESTINATION ${FOGBELL_INSTALL_DIR})
get_property(fogbell_plugins GLOBAL PROPERTY FOGBELL_PLUGINS)
foreach(plugin IN LISTS fogbell_plugins)
    # explore_plugins or decode_plugins, as staged
    get_target_property(plugin_dir ${plugin} LIBRARY_OUTPUT_DIRECTORY)
    get_filename_component(plugin_folder ${plugin_dir} NAME)
    install(TARGETS ${plugin} LIBRARY DESTINATION ${FOGBELL_INSTALL_DIR}/${plugin_folder})
endforeach()
if(TARGET fogbell)
    install(FILES ${FOGBELL_PICTURE_FILE} DESTINATION ${FOGBELL_INSTALL_DIR})
endif()
# Builds what the install rules take, and nothing else (tools/package.sh).
add_custom_target(fogbell_installed)
add_dependencies(fogbell_installed ${fogbell_programs} ${fogbell_plugins})
if(WIN32)
    # The DLLs beside the programs are staged and installed by FogbellWindowsRuntime.cmake.
    # A short README.txt for the unpacked folder.
    set(FOGBELL_README_WINDOW)
    if(TARGET fogbell)
        set(FOGBELL_README_WINDOW "
fogbell.exe is the window: open a container or an audio file, double-click a
track to play it, right-click the list to extract tracks, save them as WAVE
files or replace one. It keeps its settings in ini.ini beside it.
")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/package/README-windows.txt.in
        ${PROJECT_BINARY_DIR}/package/README.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/package/README.txt DESTINATION ${FOGBELL_INSTALL_DIR})
    return()
endif()
if(TARGET fogbell)
    install(FILES ${PROJECT_SOURCE_DIR}/host/window/fogbell.desktop DESTINATION share/applications)
    install(FILES ${FOGBELL_DESKTOP_ICON} DESTINATION share/icons/hicolor/128x128/apps)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/package/fogbell.xml DESTINATION share/mime/packages)
endif()
foreach(program IN LISTS fogbell_programs)
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${program}\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(REMOVE \"\${link}\")
        file(CREATE_LINK \"../${FOGBELL_INSTALL_DIR}/${program}\" \"\${link}\" SYMBOLIC)
        message(STATUS \"Installing: \${link} -> ../${FOGBELL_INSTALL_DIR}/${program}\")")
endforeach()
