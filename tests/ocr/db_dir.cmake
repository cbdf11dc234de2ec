# The font database directory through the exported calls, on a private copy of the library
# with an INI file of the test's own beside it.
pvk_add_test(ocr_dbdir_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/db_dir_test.cpp LIBS ${CMAKE_DL_LIBS})
target_include_directories(ocr_dbdir_tests PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_compile_definitions(ocr_dbdir_tests PRIVATE PVK_LIBRARY_FILE="$<TARGET_FILE:PlavikMS>")
add_dependencies(ocr_dbdir_tests PlavikMS)
