# The document road: scanner open and close, side copies, one document, paper moves, against
# the software scanner. The folder libraries are taken whole, as the shipped library takes them,
# so that every owner's definition replaces the weak stand-ins of the seams.
string(JOIN "," pvk_document_whole ${PVK_FOLDER_LIBS})
pvk_add_test(test_acquisition_document
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/document_rules_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/side_copy_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/document_road_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/document_e2e_test.cpp
  LIBS "$<LINK_LIBRARY:WHOLE_ARCHIVE,${pvk_document_whole}>" pvkemu)
