# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
# The posix flavour has std::thread and std::mutex; the win32 flavour has not.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ARDEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ARDEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ARDEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ARDEL_MINGW_PREFIX}-windres)

# Qt for Windows lives outside the MinGW root; a caller adds it with CMAKE_PREFIX_PATH.
set(CMAKE_FIND_ROOT_PATH /usr/${ARDEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
