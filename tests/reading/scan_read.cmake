# Scan and read as a host sees it: the font database listing on a private copy of the library
# with an INI file of the test's own, pointed at the generated databases.
pvk_add_test(scan_read_listing_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/db_listing_test.cpp LIBS ${CMAKE_DL_LIBS})
target_include_directories(scan_read_listing_tests PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_compile_definitions(scan_read_listing_tests PRIVATE PVK_LIBRARY_FILE="$<TARGET_FILE:PlavikMS>")
add_dependencies(scan_read_listing_tests PlavikMS)
pvk_use_font_dbs(scan_read_listing_tests)
# The joined output of a document's zones, driven as the zone loop drives it.
pvk_add_test(scan_read_output_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_output_test.cpp LIBS pvk_internals)
# The zone loop with scripted zone readers.
pvk_add_test(scan_read_loop_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/zone_loop_test.cpp LIBS pvk_internals)
# The driver on the software scanner, zone reads scripted.
pvk_add_test(scan_read_driver_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/scan_driver_test.cpp LIBS pvkemu pvk_internals)
target_include_directories(scan_read_driver_tests PRIVATE ${CMAKE_SOURCE_DIR}/emulator)
# Demo cheques read end to end on the software scanner through the exported calls.
pvk_add_test(scan_read_cheque_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/scan_read_e2e_test.cpp
             LIBS pvkemu pvk_internals pvk_demo_cheque)
target_include_directories(scan_read_cheque_tests PRIVATE ${CMAKE_SOURCE_DIR}/emulator)
pvk_use_font_dbs(scan_read_cheque_tests)
# The demo cheques' variants read end to end: profiles, colour, magnetic ink, composite modes,
# stops, declared sizes; the symbols first read by the peers.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SRV_ZXING REQUIRED IMPORTED_TARGET zxing)
pvk_add_test(scan_read_variants_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/scan_read_variants_test.cpp ${CMAKE_SOURCE_DIR}/tests/symbols/dm_symbols.cpp
             LIBS pvkemu pvk_internals pvk_demo_cheque PkgConfig::SRV_ZXING dmtx zint)
target_include_directories(scan_read_variants_tests PRIVATE ${CMAKE_SOURCE_DIR}/emulator ${CMAKE_SOURCE_DIR}/tests/symbols)
target_compile_definitions(scan_read_variants_tests PRIVATE ZX_USE_UTF8=1)
pvk_use_font_dbs(scan_read_variants_tests)
# Calls that must fail rather than pass for a read: a stream cut inside the document, a page
# without print.
pvk_add_test(scan_read_faults_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/scan_read_faults_test.cpp
             LIBS pvkemu pvk_internals pvk_demo_cheque)
target_include_directories(scan_read_faults_tests PRIVATE ${CMAKE_SOURCE_DIR}/emulator)
pvk_use_font_dbs(scan_read_faults_tests)
