# Line assembly and the generated font databases: the databases judged from outside, lines of
# every database read end to end, and the edge cases of the assembly.
pvk_add_test(ocr_lines_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ocr_lines_read_test.cpp ${CMAKE_CURRENT_LIST_DIR}/font_db_gen_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/line_assembly_test.cpp
  LIBS pvk_internals pvk_font_db)
target_compile_definitions(ocr_lines_tests PRIVATE PVK_FONT_DB_DIR="${PVK_FONT_DB_DIR}")
add_dependencies(ocr_lines_tests pvk_font_dbs)
