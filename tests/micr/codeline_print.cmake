# The codeline readers on lines printed in fonts others drew (tests/data/fonts): representative
# lines and each symbol, gated at the level they read today.
pvk_add_test(micr_print_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/codeline_print_test.cpp
             LIBS pvk_internals pvk_codeline_print pvk_zone_corpus)
pvk_use_font_dbs(micr_print_tests)
