# What both MinGW-w64 toolchain files share; they set `triple` and the processor first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
# Debian has no MinGW libjpeg; scripts/bootstrap builds a static one into this prefix.
set(TOMEWRIGHT_JPEG_PREFIX /opt/tomewright/libjpeg-turbo/${triple} CACHE PATH "libjpeg-turbo for ${triple}")
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${TOMEWRIGHT_JPEG_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
