# Calibration and the endorser's stamp through the document road, against the software
# scanner's calibration sheet and print head.
pvk_add_test(test_calibration
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/calibration_eval_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/calibration_e2e_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/endorser_e2e_test.cpp
  LIBS pvkemu pvk_internals)
