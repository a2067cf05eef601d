# Included by the per-architecture toolchain files, which set
# CMAKE_SYSTEM_PROCESSOR and ETHBOX_MINGW_PREFIX first. The posix thread model
# gives the tests std::thread; the program itself starts no thread.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ETHBOX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ETHBOX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ETHBOX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ETHBOX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests built for Windows run under Wine, inside the test run's own network namespace.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec.sh)
