# mobigen's writer, encoding and command line.
tw_add_test(palmdoc_test SOURCES palmdoc_test.cpp LIBS mobigen_core tw_test_support LABELS mobigen)
tw_add_test(mobi_writer_test SOURCES mobi_writer_test.cpp LIBS mobigen_core tw_test_support LABELS mobigen)
tw_add_test(encoding_test SOURCES encoding_test.cpp LIBS mobigen_core tw_test_support LABELS mobigen)
tw_add_test(command_line_test SOURCES command_line_test.cpp LIBS mobigen_core tw_test_support LABELS mobigen)
tw_add_test(converter_process_test SOURCES converter_process_test.cpp LIBS tw_test_support LABELS mobigen)
target_compile_definitions(converter_process_test PRIVATE MOBIGEN_EXE="$<TARGET_FILE:mobigen>")
add_dependencies(converter_process_test mobigen)
tw_add_test(image_fit_test SOURCES image_fit_test.cpp LIBS mobigen_core tw_test_support LABELS mobigen)
tw_add_test(area_scaler_test SOURCES area_scaler_test.cpp LIBS mobigen_core LABELS mobigen)
tw_add_test(svg_render_test SOURCES svg_render_test.cpp LIBS mobigen_core tw_test_support LABELS mobigen)

# libmobi reads back the books the KF8 writer makes, in process (native builds only).
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBMOBI REQUIRED IMPORTED_TARGET libmobi)
  tw_add_test(ncx_test SOURCES ncx_test.cpp LIBS mobigen_core tw_test_support PkgConfig::LIBMOBI LABELS mobigen)
  tw_add_test(kf8_writer_test SOURCES kf8_writer_test.cpp LIBS mobigen_core tw_test_support PkgConfig::LIBMOBI LABELS mobigen)
  tw_add_test(text_page_test SOURCES text_page_test.cpp LIBS mobigen_core tw_test_support PkgConfig::LIBMOBI LABELS mobigen readers)
  tw_add_test(fixed_layout_test SOURCES fixed_layout_test.cpp LIBS mobigen_core tw_test_support PkgConfig::LIBMOBI LABELS mobigen)
  # The renderer's table runs everywhere; its book, read back by libmobi, natively.
  target_link_libraries(svg_render_test PRIVATE PkgConfig::LIBMOBI)
  target_compile_definitions(svg_render_test PRIVATE TW_WITH_LIBMOBI)
endif()
