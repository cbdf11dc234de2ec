# Magnetic E13B recognition and the magnetic reading loop.
pvk_add_test(micr_loop_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mag_e13b_test.cpp
  LIBS pvk_internals pvk_magsynth)
