# 32-bit Windows, cross-built with Debian's i686-w64-mingw32 toolchain.
set(CMAKE_SYSTEM_PROCESSOR X86)
set(MINGW_TRIPLET i686-w64-mingw32)
set(MORVANE_WINDOWS_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# SSE2 arithmetic instead of the x87's 80-bit registers, whose excess
# precision would round doubles differently from the 64-bit builds.
# A 32-bit Windows caller keeps its stack aligned to 4 bytes only (so do
# threads that Windows starts), so every function that spills a 16-byte
# vector realigns its own frame instead of trusting the caller's.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
