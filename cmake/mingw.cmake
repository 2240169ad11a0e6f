# MinGW-w64 cross-build for Windows; the including toolchain file sets KELVANE_MINGW_TARGET (the
# compilers' target triple) and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KELVANE_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVANE_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVANE_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVANE_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# CTest runs every cross-built test through the project's Wine wrapper, 32-bit and 64-bit alike.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine)
