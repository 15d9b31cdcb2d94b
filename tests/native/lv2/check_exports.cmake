# cmake -DMODULE=<path> -P check_exports.cmake
# Fails unless lv2_descriptor is the only symbol the plug-in binary defines for others to bind.
execute_process(COMMAND nm -D --defined-only ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE result
                TIMEOUT 30)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm -D --defined-only ${MODULE} failed: ${result}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${dump}")
if(NOT lines MATCHES "^[0-9a-f]+ T lv2_descriptor$")
  message(FATAL_ERROR "${MODULE} exports something else than lv2_descriptor alone:\n${dump}")
endif()
message(STATUS "exports: ${dump}")
