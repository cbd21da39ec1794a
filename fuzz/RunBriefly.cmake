# Runs one fuzz target for a few seconds over a scratch copy of its seed corpus.
# -DFUZZER=<binary> -DSEEDS=<seed folder> -DWORK=<scratch folder>
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB seeds ${SEEDS}/*)
if(seeds)
    file(COPY ${seeds} DESTINATION ${WORK})
endif()
execute_process(
    COMMAND ${FUZZER} -max_total_time=5 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 ${WORK}
    WORKING_DIRECTORY ${WORK}/..
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} failed (${result})")
endif()
