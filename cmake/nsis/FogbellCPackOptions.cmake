# Read by cpack once per generator (CPACK_PROJECT_CONFIG_FILE): the installer's own name, and
# its files at the top of what it installs rather than in a folder named like the package.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "Fogbell-${CPACK_PACKAGE_VERSION}-setup")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
