# The product: MULCHVOICE.dll, linked so that it needs nothing beyond Windows' own libraries (the
# C++ runtime and the thread library are linked statically). The 32-bit DLL exports only `main`;
# the 64-bit one also `VSTPluginMain`, the same function under the name 64-bit hosts look for
# first.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(mulchvoice_exports vst/mulchvoice64.def)
  set(mulchvoice_wine_arch win64)
else()
  set(mulchvoice_exports vst/mulchvoice.def)
  set(mulchvoice_wine_arch win32)
endif()
# tools/wine-env.sh runs this tree's programs in a Wine prefix of the same pointer width.
file(WRITE ${CMAKE_BINARY_DIR}/wine-arch.txt "${mulchvoice_wine_arch}\n")

# The editor's Windows face: its window, knobs and switches on the plug-in interface's editor
# base, drawing with GDI from the bitmap resources and the editor's core.
add_library(mulchvoice_editor STATIC
  editor/win32/rotary_knob.cpp
  editor/win32/toggle_switch.cpp
  editor/win32/vocoder_editor.cpp)
target_link_libraries(mulchvoice_editor PUBLIC mulchvoice_host mulchvoice_editor_core
                      mulchvoice_product_flags gdi32 user32)

# The DLL binds the effect (mulchvoice_vst: interface and engine) to its editor. The library's
# entry point is linked in directly, so that the loader's call always finds it.
add_library(MULCHVOICE SHARED
  host/dll_entry.cpp
  vst/allocation_operators.cpp
  vst/main.cpp
  vst/vocoder_edit.cpp
  ${mulchvoice_exports})
set_target_properties(MULCHVOICE PROPERTIES PREFIX "" OUTPUT_NAME MULCHVOICE)
target_link_libraries(MULCHVOICE PRIVATE mulchvoice_vst mulchvoice_editor mulchvoice_product_flags)
target_link_options(MULCHVOICE PRIVATE -static -static-libgcc -static-libstdc++)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit names carry no @-suffixes of the calling convention.
  target_link_options(MULCHVOICE PRIVATE -Wl,--kill-at)
endif()

# The editor's bitmaps, compiled by the cross toolchain's resource compiler. The script is
# compiled on its own, so that the C++ warning and code flags never reach the resource compiler.
set(mulchvoice_bitmaps
  ${PROJECT_SOURCE_DIR}/editor/bitmaps/background.bmp
  ${PROJECT_SOURCE_DIR}/editor/bitmaps/knob_face.bmp
  ${PROJECT_SOURCE_DIR}/editor/bitmaps/switch_off.bmp
  ${PROJECT_SOURCE_DIR}/editor/bitmaps/switch_on.bmp)
set(mulchvoice_resource_object ${CMAKE_CURRENT_BINARY_DIR}/mulchvoice_resources.o)
add_custom_command(
  OUTPUT ${mulchvoice_resource_object}
  COMMAND ${CMAKE_RC_COMPILER} --input-format=rc --output-format=coff
          -I ${PROJECT_SOURCE_DIR}
          ${PROJECT_SOURCE_DIR}/editor/win32/mulchvoice.rc ${mulchvoice_resource_object}
  DEPENDS ${PROJECT_SOURCE_DIR}/editor/win32/mulchvoice.rc
          ${PROJECT_SOURCE_DIR}/editor/win32/resource_ids.h
          ${mulchvoice_bitmaps}
  COMMENT "Compiling the editor's bitmaps"
  VERBATIM)
target_sources(MULCHVOICE PRIVATE ${mulchvoice_resource_object})
