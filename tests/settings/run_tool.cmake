# Runs TOOL with the ';'-separated ARGS, then checks its exit status against
# EXPECTED_STATUS and its standard output against the file EXPECTED (when
# that file exists).
string(REPLACE ";" " " shown "${ARGS}")
execute_process(COMMAND ${TOOL} ${ARGS} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL EXPECTED_STATUS)
  message(FATAL_ERROR "lx2d-settings ${shown}: exit status ${status}, expected ${EXPECTED_STATUS}\n${out}${err}")
endif()
if(EXISTS "${EXPECTED}")
  file(READ "${EXPECTED}" expected)
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "lx2d-settings ${shown}: output differs\n--- got\n${out}--- expected\n${expected}")
  endif()
endif()
