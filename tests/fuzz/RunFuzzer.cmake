# Fuzzes one target for SECONDS in a scratch copy of its corpus. A crashing input is copied
# into CRASHES (kept in the repository and replayed from then on) and fails the test.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${CORPUS}/*)
if(seeds)
    file(COPY ${seeds} DESTINATION ${WORK}/corpus)
endif()
execute_process(
    COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
            -max_len=4096 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
string(REGEX MATCH "#[0-9]+[^\n]*DONE[^\n]*" done "${output}")
message("${done}")
if(NOT result EQUAL 0)
    file(GLOB found ${WORK}/artifacts/*)
    if(found)
        file(COPY ${found} DESTINATION ${CRASHES})
    endif()
    message("${output}")
    message(FATAL_ERROR "fuzzer failed; inputs kept in ${CRASHES}")
endif()
