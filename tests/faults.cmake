# The fault matrix: the main dialog under Wine against real faults. The wrapper prepares the
# ones only the Unix side can make (a full disk, a read-only folder).
add_executable(fault_matrix_test fault_matrix_test.cpp)
target_link_libraries(fault_matrix_test PRIVATE tw_test_main tw_warnings tw_ui_support tw_test_support tw_res)
target_include_directories(fault_matrix_test PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
add_dependencies(fault_matrix_test tw_fake_converter mobigen)
add_test(NAME fault_matrix_test
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/faults/with-fault-folders ${PROJECT_SOURCE_DIR}/cmake/wine-run
          $<TARGET_FILE:fault_matrix_test>)
set_tests_properties(fault_matrix_test PROPERTIES LABELS "ui;faults" TIMEOUT 600)

tw_add_test(batch_load_test SOURCES batch_load_test.cpp LIBS tw_ui_support tw_test_support tw_res psapi LABELS "ui;load")
add_dependencies(batch_load_test tw_fake_converter)
set_tests_properties(batch_load_test PROPERTIES TIMEOUT 1500)
