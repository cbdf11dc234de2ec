# Magnetic E13B recognition and the magnetic reading loop, with the replay of the captures in
# mag_fixtures/ (a dump and a sidecar each).
pvk_add_test(micr_loop_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mag_e13b_test.cpp ${CMAKE_CURRENT_LIST_DIR}/mag_loop_test.cpp
  LIBS pvk_internals pvk_magsynth pvk_magreplay)
target_compile_definitions(micr_loop_tests PRIVATE PVK_MAG_FIXTURES="${CMAKE_CURRENT_LIST_DIR}/mag_fixtures")
# The loop end to end on synthesised lines: impairments swept, bad guides, the synthesiser's
# strengths; PVK_MAG_SWEEP_SEEDS widens the sweep for the figures.
pvk_add_test(micr_loop_sweep_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mag_loop_sweep_test.cpp
  LIBS pvk_internals pvk_magsynth)
# The reading loop on a document fed through the software scanner.
pvk_add_test(micr_loop_scanner_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mag_loop_scanner_test.cpp
  LIBS pvkemu pvk_internals pvk_magsynth)
