# The editor's images and font, as listed in resources.txt next to this file.
#
#   korvel_resource_list(<out var>)
#
# sets <out var> to TYPE NAME FILE triples, ready for plug_embed_resources().
# resources.txt has one resource a line, TYPE "NAME" FILE, with FILE relative
# to this folder or absolute; blank lines and lines starting with # are
# skipped. A line of any other form, a name listed twice or a file that does
# not exist stops the configuration: the module would otherwise be built
# without a resource that its editor needs.

function(korvel_resource_list out_var)
  set(dir "${CMAKE_CURRENT_FUNCTION_LIST_DIR}")
  set(list_file "${dir}/resources.txt")
  if(NOT EXISTS "${list_file}")
    message(FATAL_ERROR "KORVEL resources: the list ${list_file} does not exist")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${list_file}")

  file(STRINGS "${list_file}" lines)
  set(resources "")
  set(names "")
  set(line_number 0)
  foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(NOT line MATCHES "^([A-Za-z0-9]+)[ \t]+\"([^\"]+)\"[ \t]+(.+)$")
      message(FATAL_ERROR "KORVEL resources: ${list_file}:${line_number}: expected TYPE \"NAME\" FILE, got: ${line}")
    endif()
    set(type "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    set(file "${CMAKE_MATCH_3}")
    if(NOT IS_ABSOLUTE "${file}")
      set(file "${dir}/${file}")
    endif()
    if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
      message(FATAL_ERROR "KORVEL resources: ${list_file}:${line_number}: the file of ${type} \"${name}\" does not exist: ${file}")
    endif()
    string(TOUPPER "${type}|${name}" key)
    if(key IN_LIST names)
      message(FATAL_ERROR "KORVEL resources: ${list_file}:${line_number}: ${type} \"${name}\" is listed twice")
    endif()
    list(APPEND names "${key}")
    list(APPEND resources "${type}" "${name}" "${file}")
  endforeach()

  if(NOT resources)
    message(FATAL_ERROR "KORVEL resources: ${list_file} lists no resources")
  endif()
  set(${out_var} "${resources}" PARENT_SCOPE)
endfunction()
