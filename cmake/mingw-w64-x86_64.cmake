# Cross-compiles the Windows build (64-bit) with Debian's mingw-w64, the
# POSIX-threads flavour that std::thread and std::async need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(skeetra_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${skeetra_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${skeetra_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${skeetra_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${skeetra_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
