# QR: the symbol model and its segment decoders on grids of zint and qrencode and on bit vectors,
# the locator on corpus symbols, and the reader entry on every kind of zone image.
pvk_add_test(qr_tests
  SOURCES qr_model_test.cpp qr_segments_test.cpp qr_locator_test.cpp qr_entry_test.cpp
  LIBS pvk_internals pvk_qr_grids pvk_symbol_corpus)
