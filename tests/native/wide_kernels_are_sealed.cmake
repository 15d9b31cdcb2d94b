# The AVX and AVX2 kernels are the only code compiled for those instructions. Their objects must
# define no symbol but their kernel: an inline function emitted there (a template, a shared
# header's helper) could be the copy the linker keeps for every caller, and would then run on
# processors without AVX.
#   cmake -DNM=<nm> -DOBJECTS=<engine objects, ;-separated> -P wide_kernels_are_sealed.cmake
set(found "")
set(checked 0)
foreach(object ${OBJECTS})
  get_filename_component(name ${object} NAME)
  if(name MATCHES "^band_kernel_avx2?\\.cpp\\.o(bj)?$")
    math(EXPR checked "${checked} + 1")
    execute_process(COMMAND ${NM} --defined-only --extern-only ${object}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${NM} failed on ${object}")
    endif()
    string(REGEX REPLACE "\n$" "" symbols "${symbols}")
    string(REPLACE "\n" ";" symbols "${symbols}")
    foreach(line IN LISTS symbols)
      if(NOT line MATCHES " _?_Z1[12]runBandsAvx2?R9BandLanes")
        string(APPEND found "\n  ${name}: ${line}")
      endif()
    endforeach()
  endif()
endforeach()
if(NOT checked EQUAL 2)
  message(FATAL_ERROR "expected the objects of the two wide kernels, found ${checked}")
endif()
if(found)
  message(FATAL_ERROR "the wide kernels' objects define more than their kernel:${found}")
endif()
