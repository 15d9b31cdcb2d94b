# Flags every target of the project shares. The floating-point flags make the 32-bit DLL and
# the native build compute the same samples: SSE2 arithmetic, no fused multiply-add.
add_library(mulchvoice_flags INTERFACE)
target_compile_features(mulchvoice_flags INTERFACE cxx_std_17)
target_compile_options(mulchvoice_flags INTERFACE
  -Wall -Wextra -Werror
  -msse2 -mfpmath=sse -ffp-contract=off)
target_include_directories(mulchvoice_flags INTERFACE ${PROJECT_SOURCE_DIR})
# windows.h without the parts nobody here uses (sockets, cryptography, OLE...): it is most of
# the time each Windows source takes to compile.
if(WIN32)
  target_compile_definitions(mulchvoice_flags INTERFACE WIN32_LEAN_AND_MEAN)
endif()

# The product's own code never throws and needs no run-time type information.
add_library(mulchvoice_product_flags INTERFACE)
target_link_libraries(mulchvoice_product_flags INTERFACE mulchvoice_flags)
target_compile_options(mulchvoice_product_flags INTERFACE -fno-exceptions -fno-rtti)

# MULCHVOICE_SANITIZE: "address" (with undefined behaviour checks) or "thread".
set(MULCHVOICE_SANITIZE "" CACHE STRING "Sanitizer for the native build: address or thread")
if(MULCHVOICE_SANITIZE STREQUAL "address")
  # The product is built without run-time type information, so its virtual tables carry none;
  # the vptr check would take every call through them, from code built with it, for a bad one.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(MULCHVOICE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT MULCHVOICE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "MULCHVOICE_SANITIZE must be empty, address or thread")
endif()

# MULCHVOICE_8REG: a native build whose code uses only xmm0 to xmm7 (and ymm0 to ymm7), the eight
# vector registers 32-bit code has, for the benchmark's native-8reg lines (tools/bench.sh).
option(MULCHVOICE_8REG "Build native code with only the vector registers of 32-bit code" OFF)
if(MULCHVOICE_8REG)
  foreach(register RANGE 8 15)
    add_compile_options(-ffixed-xmm${register})
  endforeach()
  add_compile_definitions(MULCHVOICE_BENCH_8REG)
endif()

# The AVX and AVX2 band kernels alone are compiled for those instructions; each runs only where
# engine/band_kernel_choice.cpp finds them. Neither option brings fused multiply-add (-mfma
# would), and -ffp-contract=off from the shared flags still holds. With GCC, scheduling before
# register allocation, mindful of register pressure, lets the five states stay in registers in
# 32-bit code, which has eight (without it one of them goes to memory at every sample step, on
# the chain from one state to the next). Source properties hold for the targets of the directory
# that sets them: every directory that compiles the engine's sources calls this.
function(mulchvoice_wide_kernel_options)
  set(scheduling "$<$<CXX_COMPILER_ID:GNU>:-fschedule-insns;-fsched-pressure>")
  set_source_files_properties(${PROJECT_SOURCE_DIR}/engine/band_kernel_avx.cpp PROPERTIES
                              COMPILE_OPTIONS "-mavx;${scheduling}")
  set_source_files_properties(${PROJECT_SOURCE_DIR}/engine/band_kernel_avx2.cpp PROPERTIES
                              COMPILE_OPTIONS "-mavx2;${scheduling}")
endfunction()
