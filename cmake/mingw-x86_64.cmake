# 64-bit Windows with MinGW-w64, posix thread model. Only for running the tests where the
# kernel runs no 32-bit code, so 32-bit Wine cannot; the shipped build is i686.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
