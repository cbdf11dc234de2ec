# The OCR engine core: segmentation, splits and joins, the standard cell, recognition, verifiers.
pvk_add_test(ocr_core_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/segment_test.cpp ${CMAKE_CURRENT_LIST_DIR}/block_split_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/std_cell_test.cpp ${CMAKE_CURRENT_LIST_DIR}/recognize_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/verifiers_test.cpp
  LIBS pvk_internals)
