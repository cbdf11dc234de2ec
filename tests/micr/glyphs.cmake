# The drawn glyphs of the test-data generators: exact coverage, determinism, and the sizes the
# readers' windows expect at 300 dpi.
pvk_add_test(glyphs_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/glyphs_test.cpp LIBS pvk_glyphs)
