# Packages made by CPack from the install rules (tools/package.sh writes them into dist/):
#   Linux:   fogbell_VERSION_ARCH.deb   the install rules under /usr; its dependencies are read
#            by dpkg-shlibdeps from every program and plug-in module it holds
#   Windows: Fogbell-VERSION-win64.zip  one folder: the programs, the DLLs they need, both
#            plug-in folders, the picture and README.txt
#            Fogbell-VERSION-setup.exe  the same folder in an installer (NSIS, the template in
#            cmake/nsis): for the user or for all users, Start menu entry, uninstaller, the
#            six file types
set(CPACK_PACKAGE_NAME fogbell)
set(CPACK_PACKAGE_VENDOR Fogbell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "Fogbell developers <fogbell@fogbell.example>")
# The builds carry debug information; the packages do not.
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME Fogbell-${PROJECT_VERSION}-win64)
    # Unpacked, the archive is one folder named like it: the program's folder.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    if(TARGET fogbell)
        # The installer: CPack finds our NSIS.template.in first; its name and the options that
        # differ from the zip's are set per generator (FogbellCPackOptions.cmake).
        list(APPEND CPACK_GENERATOR NSIS)
        set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)
        set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/nsis/FogbellCPackOptions.cmake)
        set(CPACK_PACKAGE_INSTALL_DIRECTORY Fogbell)
        set(CPACK_NSIS_MUI_ICON ${FOGBELL_WINDOWS_ICON})
    endif()
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # fogbell_VERSION_ARCH.deb
    set(CPACK_DEBIAN_PACKAGE_SECTION sound)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The long description, below the summary line (CPack indents each line).
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Fogbell opens the sound containers of the game Mistvale (AIX, AFS, PAC, MVX)
and its audio files (ADX, WAV, XMD): it lists their tracks with length and
format, plays them, extracts them as stored or as 16-bit PCM WAVE files, and
replaces a track inside its container. The window is fogbell, the command
line fogbell-cli; eight plug-ins in /usr/lib/fogbell read the formats.")
    # Libraries of every ELF file in the package, the plug-in modules' (libsamplerate) too.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The update check's HTTPS: Qt's TLS plug-in loads libssl at run time (no ELF file names
    # it, so dpkg-shlibdeps cannot), and the server's certificate is checked against the
    # system's certificate authorities.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3, ca-certificates")
    # The window's link labels open their address through xdg-open.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
endif()

include(CPack)
