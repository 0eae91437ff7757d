# A 64-bit build of the same sources, for the tests on machines that run no
# 32-bit code (scripts/arch). The program itself is the 32-bit build.
set(VX_MINGW_TRIPLE x86_64-w64-mingw32)
set(VX_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
