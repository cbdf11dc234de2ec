# The OCR groundwork: font codes and sets, database files, set-up, thresholds, binarisation.
pvk_add_test(ocr_base_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/font_sets_test.cpp ${CMAKE_CURRENT_LIST_DIR}/font_db_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/convol_test.cpp ${CMAKE_CURRENT_LIST_DIR}/ocr_setup_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/threshold_series_test.cpp
  LIBS pvk_internals)
