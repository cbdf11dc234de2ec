# The document road: scanner open and close, side copies, one document, paper moves, against
# the software scanner.
pvk_add_test(test_acquisition_document
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/document_rules_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/side_copy_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/document_road_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/document_e2e_test.cpp
  LIBS pvkemu pvk_internals)
