# The converter stand-in: a console program built beside the tests that use it.
add_executable(tw_fake_converter fake_converter.cpp)
set_target_properties(tw_fake_converter PROPERTIES OUTPUT_NAME fake_converter)
target_link_libraries(tw_fake_converter PRIVATE tw_test_support tw_warnings)

tw_add_test(path_helpers_test SOURCES path_helpers_test.cpp LIBS tw_convert tw_test_support)
tw_add_test(file_converter_test SOURCES file_converter_test.cpp LIBS tw_convert tw_test_support)
add_dependencies(file_converter_test tw_fake_converter)

