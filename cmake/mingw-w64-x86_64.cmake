# Fogbell's cross build for 64-bit Windows (the "windows" preset): the MinGW-w64 compiler of
# mingw-w64-x86_64-base.cmake, the dependencies built for Windows by tools/build-windows-deps.sh
# under FOGBELL_WINDOWS_DEPS, and Wine to run the tests.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-base.cmake)

# FOGBELL_WINDOWS_DEPS holds libsamplerate, GoogleTest and the header-only libraries, and links
# to the Qt, SDL2 and audio library trees (qt6/, sdl2/, audio/) kept in the machine's cache.
# Qt's packages are found below its lib/cmake folder (as Qt's own toolchain file arranges it);
# its build tools (moc, rcc, uic) are this machine's, of the same version, through QT_HOST_PATH.
if(FOGBELL_WINDOWS_DEPS)
    list(PREPEND CMAKE_FIND_ROOT_PATH ${FOGBELL_WINDOWS_DEPS})
    foreach(tree audio sdl2 qt6)
        if(EXISTS ${FOGBELL_WINDOWS_DEPS}/${tree})
            get_filename_component(tree_dir ${FOGBELL_WINDOWS_DEPS}/${tree} REALPATH)
            list(PREPEND CMAKE_FIND_ROOT_PATH ${tree_dir})
            list(PREPEND CMAKE_PREFIX_PATH ${tree_dir}/lib/cmake)
        endif()
    endforeach()
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FOGBELL_WINDOWS_DEPS)

# Tests run under Wine.
find_program(FOGBELL_WINE NAMES wine wine64)
if(FOGBELL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${FOGBELL_WINE})
endif()
