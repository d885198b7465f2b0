# mobigen's readers: HTML and EPUB to the book model.
foreach(module html_tokenizer html_elements html_reducer flow_builder chapters zip opf epub_toc reader xhtml_writer css_filter font_obfuscation)
  tw_add_test(${module}_test SOURCES ${module}_test.cpp LIBS mobigen_core tw_test_support LABELS mobigen readers)
endforeach()
target_compile_definitions(reader_test PRIVATE TOMEWRIGHT_CORPUS_DIR="${TOMEWRIGHT_CORPUS}/epub")
