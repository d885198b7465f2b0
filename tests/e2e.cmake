# End-to-end tests: the shipped Tomewright.exe under Wine on a private Xvfb display, driven
# from outside with real X input and a real file manager. They share one Wine prefix, so they
# run one at a time.
add_executable(tw_e2e_probe e2e/probe.cpp)
target_link_libraries(tw_e2e_probe PRIVATE tw_warnings shell32 user32)

find_program(TW_PYTHON3 python3 REQUIRED)

foreach(scenario startup_without_converter drop_from_file_manager about_box closing)
  add_test(NAME e2e_${scenario}
    COMMAND ${TW_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e.py
      --app $<TARGET_FILE:Tomewright>
      --converter $<TARGET_FILE:mobigen>
      --probe $<TARGET_FILE:tw_e2e_probe>
      --corpus ${TOMEWRIGHT_CORPUS}/epub
      --work ${CMAKE_BINARY_DIR}/e2e
      ${scenario})
  set_tests_properties(e2e_${scenario} PROPERTIES
    LABELS e2e TIMEOUT 300 RESOURCE_LOCK tomewright_e2e_prefix)
endforeach()
