# Regenerates the samples into WORK and fails unless every file there is
# byte-identical to the one committed in SAMPLES (and no committed one is missing).
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${GENERATOR}" "${WORK}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "lumbra-make-samples failed: ${result}")
endif()
file(GLOB generated RELATIVE "${WORK}" "${WORK}/*")
file(GLOB committed RELATIVE "${SAMPLES}" "${SAMPLES}/*")
if(NOT generated STREQUAL committed)
  message(FATAL_ERROR "samples/ holds [${committed}], the generator writes [${generated}]")
endif()
foreach(name IN LISTS generated)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/${name}" "${SAMPLES}/${name}"
                  RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "samples/${name} differs from what lumbra-make-samples writes; "
                        "run it with the samples folder to update it")
  endif()
endforeach()
