# Row, column and bar-signal utilities: module counts, the cleaned copy, edge signals of
# barcode bands, band searches.
pvk_add_test(bar_signal_tests SOURCES bar_signal_test.cpp LIBS pvk_internals pvk_symbol_corpus)
