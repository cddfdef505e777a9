# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64), the POSIX
# thread model so that std::thread and std::mutex work. Used by the "windows" preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FOGBELL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FOGBELL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FOGBELL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FOGBELL_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${FOGBELL_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${FOGBELL_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and packages come from the MinGW tree and from the dependencies built for Windows
# here (FOGBELL_WINDOWS_DEPS, see tools/build-windows-deps.sh); programs run on this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${FOGBELL_MINGW_TRIPLET} ${FOGBELL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs are self-contained: the C++ runtime, libgcc and winpthread are linked in, so
# nothing but the system's own DLLs is needed beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine.
find_program(FOGBELL_WINE NAMES wine wine64)
if(FOGBELL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${FOGBELL_WINE})
endif()
