# Turns a binary file into a C++ source that registers it as a named resource.
function(velmora_embed_resource NAME INPUT OUTPUT)
  add_custom_command(
    OUTPUT ${OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DNAME=${NAME} -DINPUT=${INPUT} -DOUTPUT=${OUTPUT}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedScript.cmake
    DEPENDS ${INPUT} ${CMAKE_SOURCE_DIR}/cmake/EmbedScript.cmake
    COMMENT "Embedding ${NAME}")
endfunction()
