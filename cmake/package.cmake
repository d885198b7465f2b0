# The release zip: the program, its converter in Tools\, a read-me and the licences, in the layout
# the program expects when unpacked.
set(tw_dist ${CMAKE_BINARY_DIR}/dist)
# The 64-bit build exists only for testing; its zip must not pass for the shipped one.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(tw_zip ${tw_dist}/Tomewright-${PROJECT_VERSION}-win64.zip)
else()
  set(tw_zip ${tw_dist}/Tomewright-${PROJECT_VERSION}-win32.zip)
endif()
# CRLF for Notepad on any Windows; the read-me keeps its source's byte order mark, so the Chinese shows.
configure_file(${CMAKE_CURRENT_LIST_DIR}/dist-readme.txt ${tw_dist}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${tw_dist}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/THIRD-PARTY.txt ${tw_dist}/THIRD-PARTY.txt @ONLY NEWLINE_STYLE CRLF)
set(tw_dist_texts README.txt LICENSE.txt THIRD-PARTY.txt)
list(TRANSFORM tw_dist_texts PREPEND ${tw_dist}/ OUTPUT_VARIABLE tw_dist_text_paths)

add_custom_command(OUTPUT ${tw_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${tw_zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${tw_zip} --format=zip
    Tomewright.exe Tools/kindlegen.exe ${tw_dist_texts}
  WORKING_DIRECTORY ${tw_dist}
  DEPENDS Tomewright mobigen ${tw_dist_text_paths}
  COMMENT "Packing ${tw_zip}"
  VERBATIM)
add_custom_target(package_zip ALL DEPENDS ${tw_zip})
