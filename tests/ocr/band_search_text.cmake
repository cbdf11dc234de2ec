# The row search on zones of rendered text lines.
pvk_add_test(band_search_text_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/band_search_text_test.cpp
  LIBS pvk_internals pvk_font_db)
