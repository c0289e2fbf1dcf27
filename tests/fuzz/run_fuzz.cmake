# Runs one fuzz target for SECONDS on a copy of the seed corpus in WORK; fails when the target
# finds a fault (its output names the input, saved in WORK).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${SEEDS}/ DESTINATION ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} ${WORK}/corpus -dict=${DICT} -max_total_time=${SECONDS}
    -artifact_prefix=${WORK}/ -print_final_stats=1
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); the input that failed is in ${WORK}")
endif()
