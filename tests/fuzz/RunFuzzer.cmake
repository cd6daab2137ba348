# Fuzzes one target for RUNS inputs in a scratch copy of its corpus, stopping after
# MAX_SECONDS at the latest; a run cut short by that bound fails. A crashing input is copied
# into CRASHES (kept in the repository and replayed from then on) and fails the test.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${CORPUS}/*)
if(seeds)
    file(COPY ${seeds} DESTINATION ${WORK}/corpus)
endif()
execute_process(
    COMMAND ${FUZZER} -runs=${RUNS} -max_total_time=${MAX_SECONDS} -timeout=10
            -rss_limit_mb=2048 -max_len=4096 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
string(REGEX MATCH "#[0-9]+[^\n]*DONE[^\n]*" done "${output}")
string(REGEX MATCH "Done ([0-9]+) runs in ([0-9]+) second" summary "${output}")
message("${done}")
message("${summary}")
if(NOT result EQUAL 0)
    file(GLOB found ${WORK}/artifacts/*)
    if(found)
        file(COPY ${found} DESTINATION ${CRASHES})
    endif()
    message("${output}")
    message(FATAL_ERROR "fuzzer failed; inputs kept in ${CRASHES}")
endif()
if(NOT summary OR CMAKE_MATCH_1 LESS RUNS)
    message(FATAL_ERROR "only ${CMAKE_MATCH_1} of ${RUNS} runs within ${MAX_SECONDS} s")
endif()
