# Runs `caller digests` against the Linux build's library and against the
# DLL under Wine and fails unless every picture and shape gives the same
# bytes. Skips, saying why, when there is no Linux build. Run as:
#   cmake -DLINUX_CALLER=... -DLINUX_LIBRARY=... -DLINUX_LEVEL=... -DDATA=...
#         -DWINE_SH=... -DWINE_ARCH=... -DWINE_PREFIX=... -DWINDOWS_CALLER=...
#         -P compare_with_linux.cmake
# LINUX_LEVEL holds the Linux build to the SIMD level the DLL runs (empty:
# the best one, as the 64-bit DLL picks).
if(NOT EXISTS "${LINUX_CALLER}" OR NOT EXISTS "${LINUX_LIBRARY}")
  message("SKIPPED: no Linux build of the caller and library (${LINUX_CALLER}, ${LINUX_LIBRARY}); make build makes them")
  return()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env MORVANE_SIMD_LEVEL=${LINUX_LEVEL}
                        ${LINUX_CALLER} digests ${DATA} ${LINUX_LIBRARY}
                OUTPUT_VARIABLE linux RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the Linux caller failed (${rc})")
endif()
execute_process(COMMAND ${WINE_SH} ${WINE_ARCH} ${WINE_PREFIX} ${WINDOWS_CALLER} digests ${DATA}
                OUTPUT_VARIABLE windows RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the Windows caller failed (${rc})")
endif()
string(REPLACE "\r" "" windows "${windows}")
string(REGEX MATCHALL "[^\n]+" linux_lines "${linux}")
string(REGEX MATCHALL "[^\n]+" windows_lines "${windows}")
list(LENGTH linux_lines count)
set(differ "")
foreach(line IN LISTS linux_lines)
  list(FIND windows_lines "${line}" at)
  if(at EQUAL -1)
    list(APPEND differ "${line}")
  endif()
endforeach()
if(differ OR count EQUAL 0)
  string(REPLACE ";" "\n  " shown "${differ}")
  message(FATAL_ERROR "Linux (level '${LINUX_LEVEL}'):\n${linux}\nWindows:\n${windows}\ndiffer in:\n  ${shown}")
endif()
message("${count} pictures and shapes, the same bytes from the DLL as from the Linux build "
        "(level '${LINUX_LEVEL}'):\n${linux}")
