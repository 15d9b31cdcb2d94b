# The committed bitmaps are byte for byte what the artwork generator draws today, so that the
# generator and the artwork the DLL embeds cannot drift apart.
#   cmake -DGENERATOR=<make_artwork> -DCOMMITTED=<source>/editor/bitmaps -DOUTPUT=<scratch folder>
#         -P artwork_is_what_the_generator_draws.cmake
file(REMOVE_RECURSE ${OUTPUT})
file(MAKE_DIRECTORY ${OUTPUT})
execute_process(COMMAND ${GENERATOR} ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
file(GLOB committed RELATIVE ${COMMITTED} ${COMMITTED}/*.bmp)
foreach(name ${committed})
  file(SHA256 ${COMMITTED}/${name} committed_hash)
  file(SHA256 ${OUTPUT}/${name} drawn_hash)
  if(NOT committed_hash STREQUAL drawn_hash)
    message(FATAL_ERROR "the generator no longer draws the committed ${name}")
  endif()
endforeach()
