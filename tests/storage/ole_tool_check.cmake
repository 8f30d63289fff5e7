# Runs `vutil ole cat` on a stream of the gsf-made document and compares it with the bytes gsf was given, to
# standard output and to a file; a stream that is not there fails with 1 and leaves the output file alone.
set(TOOL ${EMULATOR} ${TOOL})  # a cross-built tool runs under its emulator
execute_process(COMMAND ${TOOL} ole cat ${DATA}/basic.cfb "Sub\\Deep\\mid" OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vutil ole cat failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${DATA}/mid.bin RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "vutil ole cat output differs from mid.bin")
endif()
file(REMOVE ${OUT})
execute_process(COMMAND ${TOOL} ole cat ${DATA}/basic.cfb "Sub\\Deep\\mid" ${OUT} RESULT_VARIABLE status)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${DATA}/mid.bin RESULT_VARIABLE differs)
if(NOT status EQUAL 0 OR differs)
  message(FATAL_ERROR "vutil ole cat to a file: status ${status}, output differs: ${differs}")
endif()
execute_process(COMMAND ${TOOL} ole cat ${DATA}/basic.cfb "Sub\\Nothing" ${OUT} ERROR_VARIABLE err
                RESULT_VARIABLE status)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${DATA}/mid.bin RESULT_VARIABLE differs)
if(NOT status EQUAL 1 OR differs OR NOT err MATCHES "^vutil ole: .*basic.cfb: no readable stream")
  message(FATAL_ERROR "vutil ole cat of a missing stream: status ${status}, output changed: ${differs}, ${err}")
endif()
# Without a path, ls lists the root: its streams with their sizes and its storages, in the directory's order.
execute_process(COMMAND ${TOOL} ole ls ${DATA}/basic.cfb OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT listing MATCHES "^stream          10  A\n" OR
   NOT listing MATCHES "\nstorage          -  Sub\nstorage          -  Many\n" OR
   NOT listing MATCHES "\nstream       70000  s70000\n")
  message(FATAL_ERROR "vutil ole ls of the root: status ${status}\n${listing}")
endif()
execute_process(COMMAND ${TOOL} ole ls ${DATA}/mid.bin ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 1 OR NOT err MATCHES "^vutil ole: .*mid.bin: not a readable compound document\n$")
  message(FATAL_ERROR "vutil ole ls of a plain file: status ${status}, ${err}")
endif()
