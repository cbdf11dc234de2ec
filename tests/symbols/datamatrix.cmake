# DataMatrix: Reed-Solomon codec, sampling and decodation on exact module grids, the locator
# and reader entry on drawn zones. libdmtx and libzint make the symbols, as black boxes.
pvk_add_test(datamatrix_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dm_symbols.cpp ${CMAKE_CURRENT_LIST_DIR}/dm_codec_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/dm_decodation_test.cpp ${CMAKE_CURRENT_LIST_DIR}/dm_entry_test.cpp
  LIBS pvk_internals dmtx zint)

# The reader on the symbol corpus, judged beside libdmtx and ZXing-cpp.
find_package(PkgConfig REQUIRED)
pkg_check_modules(DM_ZXING REQUIRED IMPORTED_TARGET zxing)
pvk_add_test(datamatrix_corpus_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dm_corpus_test.cpp ${CMAKE_CURRENT_LIST_DIR}/dm_symbols.cpp
  LIBS pvk_internals pvk_symbol_corpus dmtx zint PkgConfig::DM_ZXING)
target_compile_definitions(datamatrix_corpus_tests PRIVATE ZX_USE_UTF8=1)
