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
foreach(_line IN LISTS _vutil_lines)
  if(_line MATCHES "^# ([a-z]+)\\.h$")
    set(_vutil_header "${CMAKE_MATCH_1}")
  elseif(_line MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    if(WIN32 AND _vutil_header STREQUAL "platform")
      list(APPEND VUTIL_HOST_NAMES ${_line})
      continue()
    endif()
    list(APPEND VUTIL_EXPORT_NAMES ${_line})
    string(APPEND _vutil_table "    {\"${_vutil_header}\", \"${_line}\"},\n")
    string(APPEND _vutil_declared "    (void)sizeof(&${_line});\n")
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

# Windows: undecorated C names (the C calling convention has no @N suffix).
list(JOIN VUTIL_EXPORT_NAMES "\n    " _vutil_def_names)
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
