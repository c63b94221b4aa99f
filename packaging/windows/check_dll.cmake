# Fails unless the DLL exports exactly the names given and imports only from
# Windows' own DLLs (the C++ runtime, libgcc, libgomp and winpthreads must be
# linked in). Run as:
#   cmake -DOBJDUMP=... -DDLL=... "-DEXPORTS=name;name" -P check_dll.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump -p failed on ${DLL}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" import_lines "${out}")
set(imports "")
foreach(line IN LISTS import_lines)
  string(REPLACE "DLL Name: " "" name "${line}")
  list(APPEND imports "${name}")
endforeach()

# The names follow the "[Ordinal/Name Pointer] Table" heading, one a line
# as "[   0] name". Square brackets mean something in CMake lists, so they go.
string(REPLACE "[" "<" out "${out}")
string(REPLACE "]" ">" out "${out}")
string(REGEX MATCH "<Ordinal/Name Pointer> Table\n([^\n]+\n)+" table "${out}")
string(REGEX MATCHALL "\n\t< *[0-9]+> [^\n]+" entries "${table}")
set(exports "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^\n\t< *[0-9]+> " "" name "${entry}")
  list(APPEND exports "${name}")
endforeach()

message(STATUS "imports: ${imports}")
message(STATUS "exports: ${exports}")
set(foreign "")
foreach(name IN LISTS imports)
  string(TOLOWER "${name}" lower)
  if(NOT lower MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\\.dll$")
    list(APPEND foreign "${name}")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "imports from DLLs that are not Windows' own: ${foreign}")
endif()
list(SORT exports)
set(expected ${EXPORTS})
list(SORT expected)
if(NOT exports STREQUAL expected)
  message(FATAL_ERROR "exports are '${exports}', not '${expected}'")
endif()
