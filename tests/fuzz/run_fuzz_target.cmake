# Runs one fuzz target for a bounded time on a fresh copy of its seed corpus.
#   cmake -DFUZZER=<binary> -DSEEDS=<seed folder> -DWORK=<scratch folder> -DSECONDS=<n>
#         [-DOPTIONS=<libFuzzer flags;...>] -P run_fuzz_target.cmake
foreach(var FUZZER SEEDS WORK SECONDS)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "run_fuzz_target.cmake: ${var} not given")
  endif()
endforeach()
file(GLOB seeds "${SEEDS}/*")
if(NOT seeds)
  message(FATAL_ERROR "run_fuzz_target.cmake: no seeds in ${SEEDS}")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
file(COPY ${seeds} DESTINATION "${WORK}/corpus")

execute_process(
  COMMAND "${FUZZER}" "${WORK}/corpus" -max_total_time=${SECONDS} -timeout=20
          -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${OPTIONS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(GLOB crashes "${WORK}/artifacts/*")
  message(FATAL_ERROR "fuzz target ${FUZZER} failed (${result}); inputs: ${crashes}")
endif()
