# Big inputs: meaningful only in an optimised build without sanitizers (the linux-release preset).
if(NOT TARGET mobigen)
  return()
endif()
tw_add_test(book_load_test SOURCES book_load_test.cpp LIBS tw_convert tw_test_support LABELS load)
target_compile_definitions(book_load_test PRIVATE MOBIGEN_EXE="$<TARGET_FILE:mobigen>")
add_dependencies(book_load_test mobigen)
set_tests_properties(book_load_test PROPERTIES TIMEOUT 900)
