# QR: the symbol model and its segment decoders on grids of zint and qrencode and on bit vectors.
pvk_add_test(qr_tests
  SOURCES qr_model_test.cpp qr_segments_test.cpp
  LIBS pvk_internals pvk_qr_grids)
