# Runs `vutil fax` on a committed Group 4 strip and compares its PBM with the image the strip was made from.
execute_process(COMMAND ${TOOL} fax 2600 16 g4 ${DATA}/image.g4-msb.raw ${OUT} --msb-first RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vutil fax failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${DATA}/image.pbm RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "vutil fax output differs from image.pbm")
endif()
