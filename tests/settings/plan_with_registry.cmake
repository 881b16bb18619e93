# Provisions a fresh registry with lx2d-reg (REG), an emulator key of its own
# and HydeConnectMenuItem 6 there, then checks that lx2d-settings plan (TOOL)
# merges the hide flags of FILE with that stored value.
file(REMOVE_RECURSE "$ENV{LX2D_SYSTEM_DIR}" "$ENV{LX2D_USER_DIR}")
foreach(add
    "HKLM\\SOFTWARE\\Korvane\\LX2D_B_SET;/v;LX2D_EMU_AccessRegKeyInfo;/t;REG_SZ;/d;SOFTWARE\\Korvane\\LX2D_EMU_TEST;/f"
    "HKLM\\SOFTWARE\\Korvane\\LX2D_EMU_TEST;/v;HydeConnectMenuItem;/t;REG_DWORD;/d;6;/f")
  execute_process(COMMAND ${REG} add ${add} RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lx2d-reg add failed: ${err}")
  endif()
endforeach()
execute_process(COMMAND ${TOOL} plan ${FILE} OUTPUT_VARIABLE out RESULT_VARIABLE status)
set(expected "SetupWrite 71 40 00 71 80 01 2C 71 81 00 00\nApplySettingsFile 1\nRegSetValue HydeConnectMenuItem REG_DWORD 5\nWriteEmulatorPreferences 1\n")
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "lx2d-settings plan: status ${status}\n--- got\n${out}--- expected\n${expected}")
endif()
