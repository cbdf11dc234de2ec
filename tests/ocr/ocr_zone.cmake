# The zone reader: rows of a reading, payee databases, the erasers.
pvk_add_test(ocr_zone_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_erasers_test.cpp ${CMAKE_CURRENT_LIST_DIR}/reading_rows_test.cpp
  LIBS pvk_internals)

# The zone corpus: its shapes and determinism, and the scoring.
pvk_add_test(ocr_zone_corpus_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_corpus_test.cpp
  LIBS pvk_internals pvk_zone_corpus)
