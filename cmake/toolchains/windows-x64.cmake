# 64-bit Windows, cross-built with Debian's x86_64-w64-mingw32 toolchain.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(MORVANE_WINDOWS_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
