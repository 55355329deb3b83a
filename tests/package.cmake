# The Debian package built from this tree: its files, metadata and programs.
add_test(NAME package_deb COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/package_deb.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package_deb PROPERTIES TIMEOUT 300)
