# 64-bit Windows: only the 64-bit shell's drop handler and the programs that test it in that role.
set(KELVANE_MINGW_TARGET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
