# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 toolchain, posix thread model.
set(mulchvoice_mingw_processor x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_toolchain.cmake)
