# Magnetic E13B recognition and the magnetic reading loop, with the replay of the captures in a
# fixture folder (a dump and a sidecar each). The captures are synthesised at build time by
# magfixture: a CMC7 and an E13B line as raw head bytes, an E13B line as the "micr.txt" dump.
set(PVK_MAG_FIXTURE_DIR ${CMAKE_CURRENT_BINARY_DIR}/mag_fixtures)
set(PVK_MAG_FIXTURE_FILES)
foreach(spec "synth_cmc7_raw 32 0123456789 3 1.0 raw" "synth_e13b_1289_raw 33 1289 1 1.0 raw"
             "synth_e13b_93128_micrtxt 33 93128 1 1.0 micrtxt")
  separate_arguments(args UNIX_COMMAND "${spec}")
  list(POP_FRONT args name)
  add_custom_command(OUTPUT ${PVK_MAG_FIXTURE_DIR}/${name}.txt ${PVK_MAG_FIXTURE_DIR}/${name}.cap
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PVK_MAG_FIXTURE_DIR}
    COMMAND magfixture ${PVK_MAG_FIXTURE_DIR}/${name} ${args}
    DEPENDS magfixture VERBATIM)
  list(APPEND PVK_MAG_FIXTURE_FILES ${PVK_MAG_FIXTURE_DIR}/${name}.txt ${PVK_MAG_FIXTURE_DIR}/${name}.cap)
endforeach()
add_custom_target(pvk_mag_fixtures DEPENDS ${PVK_MAG_FIXTURE_FILES})
pvk_add_test(micr_loop_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mag_e13b_test.cpp ${CMAKE_CURRENT_LIST_DIR}/mag_loop_test.cpp
  LIBS pvk_internals pvk_magsynth pvk_magreplay)
target_compile_definitions(micr_loop_tests PRIVATE PVK_MAG_FIXTURES="${PVK_MAG_FIXTURE_DIR}")
add_dependencies(micr_loop_tests pvk_mag_fixtures)
# The loop end to end on synthesised lines: impairments swept, bad guides, the synthesiser's
# strengths; PVK_MAG_SWEEP_SEEDS widens the sweep for the figures.
pvk_add_test(micr_loop_sweep_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mag_loop_sweep_test.cpp
  LIBS pvk_internals pvk_magsynth)
# The reading loop on a document fed through the software scanner.
pvk_add_test(micr_loop_scanner_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mag_loop_scanner_test.cpp
  LIBS pvkemu pvk_internals pvk_magsynth)
