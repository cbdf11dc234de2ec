# The codeline arrays, their merge and conversions, the CMC7 bar decoder and the output mapping.
pvk_add_test(micr_base_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codeline_edit_test.cpp ${CMAKE_CURRENT_LIST_DIR}/codeline_merge_test.cpp
  LIBS pvk_internals pvk_glyphs)
