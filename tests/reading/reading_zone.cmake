# The zone table through the exported calls, as a host on the software scanner sees it.
pvk_add_test(reading_zone_table_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_table_test.cpp LIBS PlavikMS pvkemu)
# The zone request records as a C host lays them out.
add_executable(reading_zone_layout ${CMAKE_CURRENT_LIST_DIR}/zone_layout.c)
target_include_directories(reading_zone_layout PRIVATE ${CMAKE_SOURCE_DIR}/include)
add_test(NAME reading_zone_layout COMMAND reading_zone_layout)
# The OCR image of a side on acquired sides laid out by hand.
pvk_add_test(reading_zone_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ocr_image_test.cpp ${CMAKE_CURRENT_LIST_DIR}/zone_rules_test.cpp
  LIBS pvk_internals)
# One zone end to end and multi-line zones on real pixels from the symbol corpus (each symbol
# first read by ZXing-cpp), the zone corpus, the codeline documents and the demo cheque.
find_package(PkgConfig REQUIRED)
pkg_check_modules(RZ_ZXING REQUIRED IMPORTED_TARGET zxing)
pvk_add_test(reading_one_zone_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/read_one_zone_test.cpp ${CMAKE_CURRENT_LIST_DIR}/zone_split_test.cpp
  LIBS pvk_internals pvk_symbol_corpus pvk_zone_corpus pvk_codeline_docs pvk_demo_cheque PkgConfig::RZ_ZXING)
target_compile_definitions(reading_one_zone_tests PRIVATE ZX_USE_UTF8=1)
pvk_use_font_dbs(reading_one_zone_tests)
