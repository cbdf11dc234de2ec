# The linear barcode reader: decoders on element widths, the result list, images of the symbol
# corpus; and the checked-in pattern tables against their generator.
pvk_add_test(linear_barcode_tests
  SOURCES linear_decoders_test.cpp barcode_merge_test.cpp barcode_reader_test.cpp
  LIBS pvk_internals pvk_symbol_corpus)
add_test(NAME BarcodeTables.CheckedInSourceMatchesItsGenerator
  COMMAND sh -c "\"$1\" \"$2\" && cmp \"$2\" \"$3\"" sh $<TARGET_FILE:barcode_tables>
          ${CMAKE_CURRENT_BINARY_DIR}/linear_tables.generated.cpp ${CMAKE_SOURCE_DIR}/src/symbols/linear_tables.cpp)
