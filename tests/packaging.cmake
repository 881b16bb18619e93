# The Debian package of this build: built, unpacked into a scratch root, and
# the utility installed there run against the simulator installed there.
# It packages what the build made, so it needs the whole build done.
add_test(NAME package_deb_install_run
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/packaging/package_check.sh ${CMAKE_CPACK_COMMAND}
                 ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(package_deb_install_run PROPERTIES PASS_REGULAR_EXPRESSION "ok\n$" TIMEOUT 300)
