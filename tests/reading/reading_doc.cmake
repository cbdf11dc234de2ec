# The document reader: the codeline of a document and the Italian cheque rules (the corrections
# against a reference and the alignment of two readings), from tables of cases.
pvk_add_test(reading_doc_rules_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cheque_rules_test.cpp ${CMAKE_CURRENT_LIST_DIR}/doc_codeline_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/doc_flow_test.cpp
  LIBS pvk_internals)
