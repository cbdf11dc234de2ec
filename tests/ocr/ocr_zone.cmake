# The zone reader: rows of a reading, payee databases, the erasers.
pvk_add_test(ocr_zone_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_erasers_test.cpp ${CMAKE_CURRENT_LIST_DIR}/reading_rows_test.cpp
  LIBS pvk_internals)

# The zone corpus: its shapes and determinism, and the scoring.
pvk_add_test(ocr_zone_corpus_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_corpus_test.cpp
  LIBS pvk_internals pvk_zone_corpus)

# The zone reader end to end on drawn zones, and its band splits and trims.
pvk_add_test(ocr_read_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/read_ocr_test.cpp
  LIBS pvk_internals pvk_zone_corpus)
pvk_use_font_dbs(ocr_read_tests)

# Accuracy gates of the zone reader on a fixed small corpus, and on text printed by others.
pvk_add_test(ocr_zone_accuracy_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_accuracy_test.cpp ${CMAKE_CURRENT_LIST_DIR}/printed_text_test.cpp
  LIBS pvk_internals pvk_zone_corpus)
pvk_use_font_dbs(ocr_zone_accuracy_tests)
