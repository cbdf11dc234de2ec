# PDF417: error correction, the codeword stream, the reader; the tables against a second encoder.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PVK_ZXING REQUIRED IMPORTED_TARGET zxing)
pvk_add_test(pdf417_tests
  SOURCES
    pdf417_gf929_test.cpp
    pdf417_stream_test.cpp
    pdf417_tables_test.cpp
    pdf417_reader_test.cpp
  LIBS pvk_internals pvk_pdf417_model pvk_symbol_corpus PkgConfig::PVK_ZXING)

# The checked-in tables are what the generator writes today.
add_test(NAME pdf417_tables_reproduced
  COMMAND ${CMAKE_COMMAND} -DGEN=$<TARGET_FILE:pdf417_tables>
          -DOUT=${CMAKE_CURRENT_BINARY_DIR}/pdf417_tables_check.cpp
          -DREF=${CMAKE_SOURCE_DIR}/src/symbols/pdf417_tables.cpp
          -P ${CMAKE_SOURCE_DIR}/tools/pdf417_tables/check_tables.cmake)
