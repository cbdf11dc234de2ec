# The optical CMC7 reader and the combined optical and magnetic codeline readers: the accumulation
# of band readings.
pvk_add_test(micr_comb_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cmc7_accumulate_test.cpp
  LIBS pvk_internals)
# The codeline test documents.
pvk_add_test(micr_docs_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codeline_docs_test.cpp
  LIBS pvk_internals pvk_codeline_docs)
# The optical CMC7 reader over rendered lines.
pvk_add_test(micr_cmc7_reader_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cmc7_reader_test.cpp
  LIBS pvk_internals pvk_codeline_docs)
# The combined optical and magnetic readers over rendered lines and their head samples.
pvk_add_test(micr_combined_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codeline_combined_test.cpp
  LIBS pvk_internals pvk_codeline_docs)
# The readers of the zone dispatch, their optical pass on the generated font databases.
pvk_add_test(micr_readers_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codeline_readers_test.cpp
  LIBS pvk_internals pvk_codeline_docs)
pvk_use_font_dbs(micr_readers_tests)
