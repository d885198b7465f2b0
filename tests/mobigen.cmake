# mobigen's writer, encoding and command line.
if(NOT TARGET mobigen_core)
  return()
endif()
tw_add_test(palmdoc_test SOURCES palmdoc_test.cpp LIBS mobigen_core LABELS mobigen)
tw_add_test(mobi_writer_test SOURCES mobi_writer_test.cpp LIBS mobigen_core LABELS mobigen)
tw_add_test(encoding_test SOURCES encoding_test.cpp LIBS mobigen_core LABELS mobigen)
tw_add_test(command_line_test SOURCES command_line_test.cpp LIBS mobigen_core LABELS mobigen)
