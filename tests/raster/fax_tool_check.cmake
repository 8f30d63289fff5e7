# Runs `vutil fax` on every committed strip (libtiff's coding of image.pbm, see data/fax/README.md) and compares
# each PBM with the image the strips were made from.
set(TOOL ${EMULATOR} ${TOOL})  # a cross-built tool runs under its emulator
foreach(strip g3:image.g3.raw g3-2d:image.g3-2d.raw g4:image.g4.raw g4:image.g4-msb.raw:--msb-first)
  string(REPLACE ":" ";" options ${strip})
  list(POP_FRONT options coding file)
  file(REMOVE ${OUT})
  execute_process(COMMAND ${TOOL} fax 2600 16 ${coding} ${DATA}/${file} ${OUT} ${options} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "vutil fax failed on ${file}: ${status}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${DATA}/image.pbm RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "vutil fax output of ${file} differs from image.pbm")
  endif()
endforeach()
