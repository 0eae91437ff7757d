# Cross-compiles the 32-bit Windows program on Linux with mingw-w64.
set(VX_MINGW_TRIPLE i686-w64-mingw32)
set(VX_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
