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
target_compile_definitions(ocr_read_tests PRIVATE PVK_FONT_DB_DIR="${PVK_FONT_DB_DIR}")
add_dependencies(ocr_read_tests pvk_font_dbs)

# Accuracy gates of the zone reader on a fixed small corpus.
pvk_add_test(ocr_zone_accuracy_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_accuracy_test.cpp
  LIBS pvk_internals pvk_zone_corpus)
target_compile_definitions(ocr_zone_accuracy_tests PRIVATE PVK_FONT_DB_DIR="${PVK_FONT_DB_DIR}")
add_dependencies(ocr_zone_accuracy_tests pvk_font_dbs)
