# Turns the export list into a linker version script (a module-definition file
# on Windows) and a C table of names.

file(STRINGS ${VUTIL_EXPORT_LIST} _vutil_lines)
set(VUTIL_EXPORT_NAMES "")
# The names of platform.h are the host's own global-memory functions on
# Windows: there the library neither defines nor exports them.
set(VUTIL_HOST_NAMES "")
set(_vutil_table "")
set(_vutil_header "")
set(_vutil_declared "")
set(_vutil_def_names "")
set(_vutil_bodies "")
foreach(_line IN LISTS _vutil_lines)
  if(_line MATCHES "^# ([a-z]+)\\.h$")
    set(_vutil_header "${CMAKE_MATCH_1}")
  elseif(_line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)( = ([A-Za-z_][A-Za-z0-9_]*)( on ([a-z0-9_]+))?)?$")
    set(_vutil_name ${CMAKE_MATCH_1})
    if(WIN32 AND _vutil_header STREQUAL "platform")
      list(APPEND VUTIL_HOST_NAMES ${_vutil_name})
      continue()
    endif()
    list(APPEND VUTIL_EXPORT_NAMES ${_vutil_name})
    if(CMAKE_MATCH_3 AND (NOT CMAKE_MATCH_5 OR CMAKE_MATCH_5 STREQUAL CMAKE_SYSTEM_PROCESSOR))
      list(APPEND _vutil_def_names "${_vutil_name} = ${CMAKE_MATCH_3}")
      string(APPEND _vutil_bodies "    {\"${_vutil_name}\", \"${CMAKE_MATCH_3}\", 1},\n")
    elseif(CMAKE_MATCH_3)
      list(APPEND _vutil_def_names ${_vutil_name})
      string(APPEND _vutil_bodies "    {\"${_vutil_name}\", \"${CMAKE_MATCH_3}\", 0},\n")
    else()
      list(APPEND _vutil_def_names ${_vutil_name})
    endif()
    string(APPEND _vutil_table "    {\"${_vutil_header}\", \"${_vutil_name}\"},\n")
    string(APPEND _vutil_declared "    (void)sizeof(&${_vutil_name});\n")
  elseif(NOT _line MATCHES "^(#.*)?$")
    message(FATAL_ERROR "${VUTIL_EXPORT_LIST}: not an export: ${_line}")
  endif()
endforeach()

list(JOIN VUTIL_EXPORT_NAMES ";\n    " _vutil_globals)
set(VUTIL_VERSION_SCRIPT ${PROJECT_BINARY_DIR}/vutil.map)
file(CONFIGURE OUTPUT ${VUTIL_VERSION_SCRIPT} CONTENT
"/* Generated from cmake/vutil.exports: the library exports these names and nothing else. */
{
  global:
    ${_vutil_globals};
  local:
    *;
};
")

# Windows: undecorated C names (the C calling convention has no @N suffix);
# "NAME = OTHER" exports OTHER's code under the name NAME too.
list(JOIN _vutil_def_names "\n    " _vutil_def_names)
set(VUTIL_DEF_FILE ${PROJECT_BINARY_DIR}/vutil.def)
file(CONFIGURE OUTPUT ${VUTIL_DEF_FILE} CONTENT
"; Generated from cmake/vutil.exports: the library exports these names and nothing else.
LIBRARY vutil.dll
EXPORTS
    ${_vutil_def_names}
")

set(VUTIL_EXPORT_TABLE ${PROJECT_BINARY_DIR}/generated/vutil_export_table.inc)
file(CONFIGURE OUTPUT ${VUTIL_EXPORT_TABLE} CONTENT
"// Generated from cmake/vutil.exports: {header, name} of every export.
${_vutil_table}")
set(VUTIL_DECLARED_NAMES ${PROJECT_BINARY_DIR}/generated/vutil_declared_names.inc)
file(CONFIGURE OUTPUT ${VUTIL_DECLARED_NAMES} CONTENT
"/* Generated from cmake/vutil.exports: compiles only if every export is declared. */
${_vutil_declared}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VUTIL_EXPORT_LIST})
# {NAME, OTHER, shared}: the names of one operation, and whether the DLL for
# this processor exports them from one body.
set(VUTIL_SHARED_BODIES ${PROJECT_BINARY_DIR}/generated/vutil_shared_bodies.inc)
file(CONFIGURE OUTPUT ${VUTIL_SHARED_BODIES} CONTENT
"/* Generated from cmake/vutil.exports: {name, other name, one body} of the names of one operation. */
${_vutil_bodies}")
