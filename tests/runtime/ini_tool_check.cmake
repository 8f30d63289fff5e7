# Runs `vutil ini` through a small session in a settings directory of its own:
# writes, reads, lists, removals, and the exit status of each kind of failure.
set(TOOL ${EMULATOR} ${TOOL})  # a cross-built tool runs under its emulator
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# ini(EXPECTED_STATUS EXPECTED_OUTPUT args...): runs the tool and checks both.
function(ini expected_status expected_output)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env VUTIL_PROFILE_DIR=${WORK} ${TOOL} ini ${ARGN}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL expected_status)
    message(FATAL_ERROR "vutil ini ${ARGN}: status ${status}, expected ${expected_status}\n${errors}")
  endif()
  if(NOT output STREQUAL expected_output)
    message(FATAL_ERROR "vutil ini ${ARGN}: printed\n[${output}]\nexpected\n[${expected_output}]")
  endif()
  if(status EQUAL 1 AND NOT errors MATCHES "t\\.ini")
    message(FATAL_ERROR "vutil ini ${ARGN}: the message does not name the file: ${errors}")
  endif()
endfunction()

ini(0 "" t.ini View Scale 0.5)
ini(0 "" t.ini View Mode "wire frame")
ini(0 "" t.ini Colors Pen1 7)
ini(0 "0.5\n" t.ini view SCALE)
ini(0 "View\nColors\n" t.ini)
ini(0 "Scale=0.5\nMode=wire frame\n" t.ini VIEW)
ini(1 "" t.ini View Nothing)
ini(1 "" t.ini Nowhere)
ini(0 "" t.ini View Mode --delete)
ini(0 "" t.ini Colors --delete)
ini(1 "" t.ini View "a=b" v)
# An empty value (an empty argument does not survive a CMake function's ARGN).
execute_process(COMMAND ${CMAKE_COMMAND} -E env VUTIL_PROFILE_DIR=${WORK} ${TOOL} ini t.ini View Empty ""
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vutil ini t.ini View Empty '': status ${status}")
endif()
ini(0 "\n" t.ini View Empty)
file(READ ${WORK}/t.ini text)
# The blank line that led to [Colors] stays with [View].
if(NOT text STREQUAL "[View]\nScale=0.5\nEmpty=\n\n")
  message(FATAL_ERROR "the settings file holds\n[${text}]")
endif()
ini(2 "")
ini(2 "" t.ini --delete)
ini(2 "" t.ini a b c d)
ini(2 "" t.ini --bogus)
execute_process(COMMAND ${TOOL} ini --help RESULT_VARIABLE status OUTPUT_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output MATCHES "^usage: vutil ini FILE")
  message(FATAL_ERROR "vutil ini --help: status ${status}\n${output}")
endif()
