# Cross-compiling for 32-bit Windows with Debian's MinGW-w64 toolchain, posix thread model.
set(mulchvoice_mingw_processor i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_toolchain.cmake)
