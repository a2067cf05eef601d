# Runs a fuzz target once on each kept input: cmake -DFUZZER=PATH -DINPUTS=DIR -P this.
# Given files rather than a folder, libFuzzer runs just them and stops; given
# nothing, it would start fuzzing, so an empty folder is a pass of its own.
file(GLOB inputs LIST_DIRECTORIES false ${INPUTS}/*)
list(FILTER inputs EXCLUDE REGEX "/(README[^/]*|\\.[^/]*)$")
list(LENGTH inputs count)
if(count EQUAL 0)
    message(STATUS "no kept inputs in ${INPUTS}")
    return()
endif()

message(STATUS "replaying ${count} kept input(s) from ${INPUTS}")
execute_process(COMMAND ${FUZZER} ${inputs} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} fails on a kept input (exit ${result})")
endif()
