# Runs `vutil uncompress` with its input named again as the output: it must refuse and
# leave the input as it was, rather than empty it before reading it.
set(TOOL ${EMULATOR} ${TOOL})  # a cross-built tool runs under its emulator
file(MAKE_DIRECTORY ${WORK})
configure_file(${DATA}/sample.b12.Z ${WORK}/same.Z COPYONLY)
execute_process(COMMAND ${TOOL} uncompress ${WORK}/same.Z ${WORK}/./same.Z RESULT_VARIABLE status ERROR_QUIET)
if(status EQUAL 0)
  message(FATAL_ERROR "vutil uncompress accepted its input as its output")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/same.Z ${DATA}/sample.b12.Z RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "vutil uncompress changed its input")
endif()
execute_process(COMMAND ${TOOL} uncompress ${WORK}/same.Z ${WORK}/out.bin RESULT_VARIABLE status OUTPUT_QUIET)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/out.bin ${DATA}/sample.bin RESULT_VARIABLE differs)
if(NOT status EQUAL 0 OR differs)
  message(FATAL_ERROR "vutil uncompress to another file failed")
endif()
