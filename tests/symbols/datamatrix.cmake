# DataMatrix: Reed-Solomon codec, sampling and decodation on exact module grids, the locator
# and reader entry on drawn zones. libdmtx and libzint make the symbols, as black boxes.
pvk_add_test(datamatrix_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dm_symbols.cpp ${CMAKE_CURRENT_LIST_DIR}/dm_codec_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/dm_decodation_test.cpp ${CMAKE_CURRENT_LIST_DIR}/dm_entry_test.cpp
  LIBS pvk_internals dmtx zint)
