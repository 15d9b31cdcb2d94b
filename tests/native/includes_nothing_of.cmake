# A layer of the product reaches nothing it must not know: no file in its folder includes a
# header of the forbidden folders or one of the forbidden headers, and none names a forbidden
# name. Each argument is a regular expression of alternatives:
#   cmake -DDIR=<source>/engine -DFOLDERS="host|editor|vst|lv2" [-DHEADERS="windows\\.h"]
#         [-DNAMES=AudioEffect] -P includes_nothing_of.cmake
file(GLOB sources ${DIR}/*.h ${DIR}/*.cpp)
if(NOT sources)
  message(FATAL_ERROR "no sources in ${DIR}")
endif()
set(found "")
foreach(file ${sources})
  file(STRINGS ${file} lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^ *# *include" AND
       (line MATCHES "[<\"](${FOLDERS})/" OR (HEADERS AND line MATCHES "[<\"/](${HEADERS})")))
      string(APPEND found "\n  ${file}: ${line}")
    elseif(NAMES AND line MATCHES "${NAMES}")
      string(APPEND found "\n  ${file}: ${line}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "${DIR} reaches outside its layer:${found}")
endif()
