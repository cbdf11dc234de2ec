# Magnetic signal conditioning, the FFT band filter, alignment and the head signal synthesiser;
# the synthesiser through the software scanner.
pvk_add_test(micr_mag_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mag_fft_test.cpp ${CMAKE_CURRENT_LIST_DIR}/mag_signal_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mag_align_test.cpp ${CMAKE_CURRENT_LIST_DIR}/magsynth_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mag_merge_test.cpp ${CMAKE_CURRENT_LIST_DIR}/mag_cmc7_test.cpp
  LIBS pvk_internals pvk_magsynth)
pvk_add_test(micr_mag_scanner_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/magsynth_scanner_test.cpp
  LIBS pvkemu pvk_internals pvk_magsynth)
