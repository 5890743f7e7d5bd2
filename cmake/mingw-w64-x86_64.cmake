# Cross-build for 64-bit Windows with Debian's mingw-w64 posix-thread compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BACKDRIFT_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BACKDRIFT_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BACKDRIFT_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BACKDRIFT_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BACKDRIFT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows programs built here run under Wine: tests, test discovery and benchmarks.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
