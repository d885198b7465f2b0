# The release zip: the program, its converter in Tools\ and a read-me, in the layout the program
# expects when unpacked.
set(tw_dist ${CMAKE_BINARY_DIR}/dist)
set(tw_zip ${tw_dist}/Tomewright-${PROJECT_VERSION}-win32.zip)
# CRLF, and the byte order mark of the source, so that Notepad on any Windows shows the Chinese.
configure_file(${CMAKE_CURRENT_LIST_DIR}/dist-readme.txt ${tw_dist}/README.txt @ONLY NEWLINE_STYLE CRLF)

add_custom_command(OUTPUT ${tw_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${tw_zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${tw_zip} --format=zip
    Tomewright.exe Tools/kindlegen.exe README.txt
  WORKING_DIRECTORY ${tw_dist}
  DEPENDS Tomewright mobigen ${tw_dist}/README.txt
  COMMENT "Packing ${tw_zip}"
  VERBATIM)
add_custom_target(package_zip ALL DEPENDS ${tw_zip})
