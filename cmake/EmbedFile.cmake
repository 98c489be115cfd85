# installer_embed_file(TARGET <target> FILE <path> SYMBOL <name>)
# Adds the file's bytes to <target> as `extern "C" const unsigned char <name>[]` with
# `extern "C" const unsigned char <name>_end[]` just past its end.
function(installer_embed_file)
  cmake_parse_arguments(ARG "" "TARGET;FILE;SYMBOL" "" ${ARGN})
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${ARG_SYMBOL}.S)
  file(WRITE ${source}.in
    "  .section .rodata\n"
    "  .global ${ARG_SYMBOL}\n"
    "  .global ${ARG_SYMBOL}_end\n"
    "  .balign 16\n"
    "${ARG_SYMBOL}:\n"
    "  .incbin \"${ARG_FILE}\"\n"
    "${ARG_SYMBOL}_end:\n"
    "  .byte 0\n"
    "  .section .note.GNU-stack,\"\",@progbits\n")
  configure_file(${source}.in ${source} COPYONLY)
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${ARG_FILE})
  target_sources(${ARG_TARGET} PRIVATE ${source})
endfunction()
