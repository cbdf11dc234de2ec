# The post-processing of readings: line editing and re-spacing, look-alike arbitration, the
# per-font and microperforation cleaners, the cheque codeline checks and the overall confidence.
pvk_add_test(ocr_post_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/line_edit_test.cpp ${CMAKE_CURRENT_LIST_DIR}/line_clean_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/lookalike_test.cpp ${CMAKE_CURRENT_LIST_DIR}/cleaners_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cheque_test.cpp ${CMAKE_CURRENT_LIST_DIR}/reading_invariant_test.cpp
  LIBS pvk_internals)
