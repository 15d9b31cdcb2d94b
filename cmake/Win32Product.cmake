# The product: MULCHVOICE.dll, exporting only `main`, linked so that it needs nothing beyond
# Windows' own libraries (the C++ runtime and the thread library are linked statically).
add_library(MULCHVOICE SHARED
  host/dll_entry.cpp
  host/vocoder_edit.cpp
  host/mulchvoice.def)
set_target_properties(MULCHVOICE PROPERTIES PREFIX "" OUTPUT_NAME MULCHVOICE)
target_link_libraries(MULCHVOICE PRIVATE mulchvoice_core mulchvoice_product_flags)
target_link_options(MULCHVOICE PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
