# Cross-module tests of the settings utility's pieces: CBarcodeDll against
# real shared libraries, and the lx2d-settings tool.

# Fake scanner libraries, each variant as libRDLK_HID.so in a folder of its
# own: every export, each export missing in turn, a failing Initialize.
set(LX2D_FAKE_RDLK_DIR ${CMAKE_BINARY_DIR}/tests/fake_rdlk)
set(lx2d_fake_rdlk_targets)
function(lx2d_fake_rdlk variant)
  add_library(fake_rdlk_${variant} MODULE ${CMAKE_CURRENT_LIST_DIR}/settings/fake_scanner_library.cpp)
  set_target_properties(fake_rdlk_${variant} PROPERTIES
    OUTPUT_NAME RDLK_HID LIBRARY_OUTPUT_DIRECTORY ${LX2D_FAKE_RDLK_DIR}/${variant})
  target_compile_definitions(fake_rdlk_${variant} PRIVATE ${ARGN})
  set(lx2d_fake_rdlk_targets ${lx2d_fake_rdlk_targets} fake_rdlk_${variant} PARENT_SCOPE)
endfunction()

lx2d_fake_rdlk(full)
lx2d_fake_rdlk(initialize_fails FAKE_INITIALIZE_RESULT=3)
foreach(export Initialize GetDllVersion Connect Disconnect ControlCommand StatusRead SetupRead
               SetupWrite GetBarcodeData GetRawData GetImageData ImageDataRead GetEventNotification
               DeviceIOControl ConfigurationDialog Deinitialize)
  lx2d_fake_rdlk(no_${export} FAKE_OMIT_${export})
endforeach()

lx2d_test(barcode_dll_loading_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings/barcode_dll_loading_test.cpp
  LIBS lx2d_utility_app)
target_compile_definitions(barcode_dll_loading_test PRIVATE FAKE_RDLK_DIR="${LX2D_FAKE_RDLK_DIR}")
add_dependencies(barcode_dll_loading_test ${lx2d_fake_rdlk_targets})

# lx2d-settings runs: output compared with the expected text, and the exit
# status. The registry directories point into the build tree, so the plan
# sees a registry without emulator values.
set(lx2d_settings_env
  LX2D_SYSTEM_DIR=${CMAKE_BINARY_DIR}/tests/lx2d_settings_registry/system
  LX2D_USER_DIR=${CMAKE_BINARY_DIR}/tests/lx2d_settings_registry/user
  LC_ALL=C.UTF-8)
function(lx2d_settings_tool_test name status)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:lx2d-settings> "-DARGS=${ARGN}"
                   -DEXPECTED_STATUS=${status}
                   -DEXPECTED=${CMAKE_CURRENT_LIST_DIR}/settings/${name}.expected
                   -P ${CMAKE_CURRENT_LIST_DIR}/settings/run_tool.cmake)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${lx2d_settings_env}")
endfunction()

lx2d_settings_tool_test(lx2d_settings_plan_codabar 0 plan ${CMAKE_CURRENT_LIST_DIR}/settings/plan_codabar.ini)
lx2d_settings_tool_test(lx2d_settings_plan_example 0 plan ${CMAKE_SOURCE_DIR}/examples/settings.ini)
lx2d_settings_tool_test(lx2d_settings_check_example 0 check ${CMAKE_SOURCE_DIR}/examples/settings.ini)
lx2d_settings_tool_test(lx2d_settings_check_mistakes 1 check ${CMAKE_CURRENT_LIST_DIR}/settings/check_mistakes.ini)
lx2d_settings_tool_test(lx2d_settings_check_absent 2 check ${CMAKE_CURRENT_LIST_DIR}/settings/absent.ini)
lx2d_settings_tool_test(lx2d_settings_usage 2 plan)
lx2d_settings_tool_test(lx2d_settings_plan_absent 2 plan ${CMAKE_CURRENT_LIST_DIR}/settings/absent.ini)
# A UTF-16 file under a UTF-8 locale: texts reach the reader in UTF-8.
lx2d_settings_tool_test(lx2d_settings_plan_utf16 0 plan ${CMAKE_CURRENT_LIST_DIR}/settings/plan_utf16.ini)

# The plan reads the registry as it is: the configured emulator key and the
# stored hide flags, provisioned with lx2d-reg.
if(TARGET lx2d-reg)
  add_test(NAME lx2d_settings_plan_registry
           COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:lx2d-settings> -DREG=$<TARGET_FILE:lx2d-reg>
                   -DFILE=${CMAKE_CURRENT_LIST_DIR}/settings/plan_hide_flags.ini
                   -P ${CMAKE_CURRENT_LIST_DIR}/settings/plan_with_registry.cmake)
  set_tests_properties(lx2d_settings_plan_registry PROPERTIES ENVIRONMENT
    "LX2D_SYSTEM_DIR=${CMAKE_BINARY_DIR}/tests/lx2d_settings_registry_provisioned/system;LX2D_USER_DIR=${CMAKE_BINARY_DIR}/tests/lx2d_settings_registry_provisioned/user")
endif()
# A damaged machine hive stops the plan with one line naming the file.
add_test(NAME lx2d_settings_plan_damaged_hive
         COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:lx2d-settings>
                 -DFILE=${CMAKE_CURRENT_LIST_DIR}/settings/plan_codabar.ini
                 -P ${CMAKE_CURRENT_LIST_DIR}/settings/plan_damaged_hive.cmake)
set_tests_properties(lx2d_settings_plan_damaged_hive PROPERTIES ENVIRONMENT
  "LX2D_SYSTEM_DIR=${CMAKE_BINARY_DIR}/tests/lx2d_settings_registry_damaged/system;LX2D_USER_DIR=${CMAKE_BINARY_DIR}/tests/lx2d_settings_registry_damaged/user")
