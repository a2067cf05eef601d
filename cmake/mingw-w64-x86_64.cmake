# Cross-compiles for 64-bit Windows with Debian's MinGW-w64. The posix thread
# model gives the tests std::thread; the program itself starts no thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ETHBOX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ETHBOX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ETHBOX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ETHBOX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ETHBOX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests built for Windows run under Wine, inside the test run's own network namespace.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec.sh)
