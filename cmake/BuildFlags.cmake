# morvane_build_flags: what every target of the project is compiled and linked
# with. Each target links it PRIVATE, so that nothing of it reaches a program
# built against the installed library.
add_library(morvane_build_flags INTERFACE)

# Debug information in every build, for the debug-symbols packages; it does not
# change the code generated.
target_compile_options(morvane_build_flags INTERFACE -Wall -Wextra -g)

# Hardened as Debian builds its packages: checked string and memory functions,
# and relocations resolved at start and then made read-only. A Windows DLL
# has no such relocations; mingw-w64 keeps the checked functions in libssp.
# The sanitizers check memory themselves and take the place of the former.
if(WIN32)
  target_link_libraries(morvane_build_flags INTERFACE ssp)
else()
  target_link_options(morvane_build_flags INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
if(NOT MORVANE_SANITIZE)
  target_compile_definitions(morvane_build_flags INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()

# The asan preset: AddressSanitizer and UndefinedBehaviorSanitizer.
if(MORVANE_SANITIZE)
  target_compile_options(morvane_build_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(morvane_build_flags INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz preset: everything instrumented for libFuzzer, whose main the fuzz
# targets in fuzz/ bring. clang only.
if(MORVANE_FUZZ)
  target_compile_options(morvane_build_flags INTERFACE
    -fsanitize=address,undefined,enum,fuzzer-no-link -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined,enum)
  target_link_options(morvane_build_flags INTERFACE -fsanitize=address,undefined,enum)
endif()
