# Line assembly and the generated font databases: the databases judged from outside, lines of
# every database read end to end, and the edge cases of the assembly.
pvk_add_test(ocr_lines_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ocr_lines_read_test.cpp ${CMAKE_CURRENT_LIST_DIR}/font_db_gen_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/line_assembly_test.cpp
  LIBS pvk_internals pvk_font_db)
pvk_use_font_dbs(ocr_lines_tests)
