# The private-header check against a small tree: a library "lib" with one public header and two
# private ones, and an application that uses the public header, has a header of its own named
# like a private one, and reaches two private headers, by name and by relative path.
set(fixture ${CMAKE_CURRENT_LIST_DIR}/private-headers)
execute_process(
  COMMAND ${CMAKE_COMMAND} -DROOT=${fixture} -DLIBRARIES=lib -P ${CMAKE_CURRENT_LIST_DIR}/../CheckPrivateHeaders.cmake
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(out "${out}${err}")
if(rc EQUAL 0)
  message(FATAL_ERROR "the check passed a tree that includes private headers:\n${out}")
endif()
foreach(expected "app/ByName.cpp: includes inner/Deep.h, private to lib/"
                 "app/ByPath.cpp: includes lib/Hidden.h, private to lib/")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check did not report '${expected}':\n${out}")
  endif()
endforeach()
foreach(innocent "UsesOwn.cpp" "Lib.cpp")
  string(FIND "${out}" "${innocent}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the check reported ${innocent}, which includes no private header of another library:\n${out}")
  endif()
endforeach()

# An allowed use is passed over; the other is still reported.
execute_process(
  COMMAND ${CMAKE_COMMAND} -DROOT=${fixture} -DLIBRARIES=lib "-DALLOWED=app/ByName.cpp:inner/Deep.h"
    -P ${CMAKE_CURRENT_LIST_DIR}/../CheckPrivateHeaders.cmake
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(out "${out}${err}")
string(FIND "${out}" "ByName.cpp" at)
if(rc EQUAL 0 OR NOT at EQUAL -1)
  message(FATAL_ERROR "the check did not pass over exactly the allowed use:\n${out}")
endif()
