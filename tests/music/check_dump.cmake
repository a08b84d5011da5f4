# Runs wendlop-midi --dump on SONG and compares its output with EXPECTED; a
# missing file must print "load failed" and exit 1.
execute_process(COMMAND ${TOOL} ${SONG} --dump --steps 120 OUTPUT_VARIABLE out RESULT_VARIABLE rc)
file(READ ${EXPECTED} expected)
if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "dump differs (exit ${rc}):\n${out}")
endif()
execute_process(COMMAND ${TOOL} ${SONG}.missing --dump OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT out STREQUAL "load failed\n")
  message(FATAL_ERROR "a failed load gave exit ${rc} and:\n${out}")
endif()
