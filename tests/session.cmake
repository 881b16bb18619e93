# The login session shared through sudo: the utility run by root for a user
# meets that user's emulator stand-in and reader; another user's does not.
add_test(NAME utility_sudo_joins_user_session
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/session/utility_sudo_check.sh
                 ${CMAKE_BINARY_DIR}/bin ${CMAKE_SOURCE_DIR}/examples/settings.ini)
set_tests_properties(utility_sudo_joins_user_session PROPERTIES
  PASS_REGULAR_EXPRESSION "ok\n$" SKIP_RETURN_CODE 77 TIMEOUT 120)
