# mobigen's readers: HTML and EPUB to the book model.
if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

add_library(readers_test_support STATIC zip_builder.cpp)
target_link_libraries(readers_test_support PUBLIC ZLIB::ZLIB PRIVATE tw_warnings)

foreach(module html_tokenizer html_reducer flow_builder chapters zip opf epub_toc reader xhtml_writer css font_obfuscation)
  tw_add_test(${module}_test SOURCES ${module}_test.cpp LIBS mobigen_core readers_test_support LABELS mobigen readers)
endforeach()
target_compile_definitions(reader_test PRIVATE TOMEWRIGHT_CORPUS_DIR="${TOMEWRIGHT_CORPUS}/epub")
