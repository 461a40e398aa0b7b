# The programs take network input (the printer application) and files from anyone:
# built with the hardening flags Debian builds its own packages with, all of them
# (bindnow included), as dpkg-buildflags says for this machine. Optimisation and
# debug information stay the build type's.
find_program(KV_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT KV_DPKG_BUILDFLAGS)
  message(WARNING "dpkg-buildflags not found: building without Debian's hardening flags")
  return()
endif()

function(kv_buildflags var out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${KV_DPKG_BUILDFLAGS} --get ${var}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-g$|^-O[0-9s]?$|^-ffile-prefix-map=")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

kv_buildflags(CPPFLAGS kv_cppflags)
kv_buildflags(CXXFLAGS kv_cxxflags)
kv_buildflags(LDFLAGS kv_ldflags)
# _FORTIFY_SOURCE needs the optimiser; a Debug build warns on every file without it.
foreach(flag IN LISTS kv_cppflags)
  if(flag MATCHES "^-D_FORTIFY_SOURCE")
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
  else()
    add_compile_options(${flag})
  endif()
endforeach()
add_compile_options(${kv_cxxflags})
add_link_options(${kv_ldflags})
message(STATUS "Hardening: ${kv_cppflags} ${kv_cxxflags} ${kv_ldflags}")
