# What both Windows cross builds share: Debian's mingw-w64 GCC with POSIX
# threads (std::thread and libgomp need them), everything of GCC's linked
# statically so that a DLL or program needs only system DLLs, and the
# programs run under Wine. Included by the two toolchain files beside it,
# which set MINGW_TRIPLET and MORVANE_WINDOWS_ARCH first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Highway and GoogleTest built for this target (tools/windows/build-deps.sh)
# come first, then the mingw-w64 system root.
get_filename_component(_morvane_root "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(MORVANE_WINDOWS_DEPS "${_morvane_root}/.windows/${MORVANE_WINDOWS_ARCH}/prefix")
set(CMAKE_FIND_ROOT_PATH "${MORVANE_WINDOWS_DEPS}" /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++, libgomp and winpthreads from their static archives.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# FindOpenMP would name libgomp's import library outright, past -static.
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=libgomp.a
                OUTPUT_VARIABLE _morvane_gomp OUTPUT_STRIP_TRAILING_WHITESPACE)
set(OpenMP_gomp_LIBRARY "${_morvane_gomp}" CACHE FILEPATH "libgomp's static archive")

# Tests and test discovery run the programs through Wine, in a prefix of the
# build folder's own; GoogleTest's discovery waits for CTest, so that
# building needs no Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${_morvane_root}/tools/windows/wine.sh;${MORVANE_WINDOWS_ARCH};${CMAKE_BINARY_DIR}/wineprefix")
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
