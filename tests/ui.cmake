# The Windows program's dialogs, run for real under Wine (a virtual display when none is set).
add_library(tw_ui_support STATIC ui_support.cpp)
target_include_directories(tw_ui_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tw_ui_support PUBLIC tw_ui tw_test_support GTest::gtest PRIVATE tw_warnings)

tw_add_test(ui_layer_test SOURCES ui_layer_test.cpp LIBS tw_ui tw_res LABELS ui)
tw_add_test(converter_dialog_test SOURCES converter_dialog_test.cpp LIBS tw_ui_support tw_res LABELS ui)
add_dependencies(converter_dialog_test tw_fake_converter)
