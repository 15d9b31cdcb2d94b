# The engine knows no host: nothing under engine/ includes the plug-in interface, the editor, a
# plug-in shell or windows.h, and nothing there is an AudioEffect.
#   cmake -DENGINE_DIR=<source>/engine -P engine_is_host_free.cmake
file(GLOB sources ${ENGINE_DIR}/*.h ${ENGINE_DIR}/*.cpp)
if(NOT sources)
  message(FATAL_ERROR "no engine sources in ${ENGINE_DIR}")
endif()
set(found "")
foreach(file ${sources})
  file(STRINGS ${file} lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^ *# *include" AND
       (line MATCHES "[<\"](host|editor|vst|lv2)/" OR line MATCHES "[<\"/]windows\\.h"))
      string(APPEND found "\n  ${file}: ${line}")
    elseif(line MATCHES "AudioEffect")
      string(APPEND found "\n  ${file}: ${line}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "the engine reaches outside itself:${found}")
endif()
