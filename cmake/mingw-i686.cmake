# Cross toolchain for 32-bit Windows with Debian's MinGW-w64. The posix
# thread flavour gives the C++ runtime its threads; everything is linked
# statically, so the programs need nothing but system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(PRELIVO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
