# The MinGW-w64 cross compiler for 64-bit Windows (Debian's g++-mingw-w64-x86-64, the POSIX
# thread model so that std::thread and std::mutex work), and where to look for what is built
# for Windows. Nothing else: the Windows dependencies (Qt, SDL2, libsamplerate) are built with
# this file alone, and the project's own toolchain file adds its choices on top of it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FOGBELL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FOGBELL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FOGBELL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FOGBELL_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${FOGBELL_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${FOGBELL_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries, headers and packages come from the MinGW tree (and whatever a caller prepends);
# programs run on this machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${FOGBELL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
