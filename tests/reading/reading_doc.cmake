# The document reader: the codeline of a document and the Italian cheque rules (the corrections
# against a reference and the alignment of two readings), from tables of cases.
pvk_add_test(reading_doc_rules_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cheque_rules_test.cpp ${CMAKE_CURRENT_LIST_DIR}/doc_codeline_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/doc_flow_test.cpp
  LIBS pvk_internals)
# The set-up of an Italian cheque on real pixels: its DataMatrix from the symbol corpus read by the
# library's own readers.
pvk_add_test(reading_doc_pixels_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/doc_pixels_test.cpp
  LIBS pvk_internals pvk_symbol_corpus)
