# 32-bit Windows: the Susie plug-ins are 32-bit DLLs and must load into our processes.
set(KELVANE_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
