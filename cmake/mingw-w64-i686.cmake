# Cross-compiles for 32-bit Windows with Debian's MinGW-w64: the program for
# 32-bit Windows, which cannot start a 64-bit one.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ETHBOX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
