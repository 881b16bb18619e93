# Overwrites the machine hive with bytes that are no database, then checks
# that lx2d-settings plan (TOOL) of FILE fails with status 2 and one line on
# standard error naming the hive's file, prints no plan, and leaves the file.
set(hive "$ENV{LX2D_SYSTEM_DIR}/registry/hklm.db")
file(REMOVE_RECURSE "$ENV{LX2D_SYSTEM_DIR}" "$ENV{LX2D_USER_DIR}")
file(MAKE_DIRECTORY "$ENV{LX2D_SYSTEM_DIR}/registry")
string(REPEAT "not a registry hive, just bytes that were written over it. " 80 garbage)
file(WRITE "${hive}" "${garbage}")
execute_process(COMMAND ${TOOL} plan ${FILE} OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE status)
string(REGEX MATCHALL "\n" lines "${err}")
list(LENGTH lines count)
string(FIND "${err}" "${hive}" named)
file(READ "${hive}" after)
if(NOT status EQUAL 2 OR NOT out STREQUAL "" OR NOT count EQUAL 1 OR named EQUAL -1
   OR NOT after STREQUAL garbage)
  message(FATAL_ERROR "lx2d-settings plan: status ${status}\n--- out\n${out}--- err\n${err}")
endif()
