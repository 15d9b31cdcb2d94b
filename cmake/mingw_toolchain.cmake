# What the two cross toolchain files share: Debian's MinGW-w64 compilers of the posix thread
# model for the processor the including file names in mulchvoice_mingw_processor (i686 or
# x86_64), their resource compiler and objdump, and their libraries and headers only.
set(mulchvoice_mingw ${mulchvoice_mingw_processor}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${mulchvoice_mingw_processor})
set(CMAKE_C_COMPILER ${mulchvoice_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mulchvoice_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${mulchvoice_mingw}-windres)
set(MULCHVOICE_OBJDUMP ${mulchvoice_mingw}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${mulchvoice_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
