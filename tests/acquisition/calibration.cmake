# Calibration and the endorser's stamp through the document road, against the software
# scanner's calibration sheet and print head; the folder libraries are taken whole, as the
# shipped library takes them.
string(JOIN "," pvk_calibration_whole ${PVK_FOLDER_LIBS})
pvk_add_test(test_calibration
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/calibration_eval_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/calibration_e2e_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/endorser_e2e_test.cpp
  LIBS "$<LINK_LIBRARY:WHOLE_ARCHIVE,${pvk_calibration_whole}>" pvkemu)
