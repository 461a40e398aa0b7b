# kv_gzip(<input> <output>): <output> compressed as Debian wants it (gzip -9n: no
# name, no time stamp, so the same input always gives the same bytes), at build time.
function(kv_gzip input output)
  get_filename_component(name ${output} NAME)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9n -c ${input} > ${output}
    DEPENDS ${input}
    COMMENT "Compressing ${name}"
    VERBATIM)
  add_custom_target(kv_gzip_${name} ALL DEPENDS ${output})
endfunction()

# kv_install_man_page(<page.N>): the page of this folder, installed compressed into
# man<N>/.
function(kv_install_man_page page)
  string(REGEX MATCH "[1-9]$" section ${page})
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
  kv_gzip(${CMAKE_CURRENT_SOURCE_DIR}/${page} ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
