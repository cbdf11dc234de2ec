# The codeline arrays, their merge and conversions, the CMC7 bar decoder and the output mapping.
pvk_add_test(micr_base_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codeline_edit_test.cpp ${CMAKE_CURRENT_LIST_DIR}/codeline_merge_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cmc7_bars_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cmc7_pixels_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/cmc7_output_test.cpp
  LIBS pvk_internals pvk_glyphs)
# The CMC7 output mapping through the exported call, on a private copy of the library.
pvk_add_test(micr_mapping_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/cmc7_mapping_test.cpp LIBS ${CMAKE_DL_LIBS})
target_include_directories(micr_mapping_tests PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_compile_definitions(micr_mapping_tests PRIVATE PVK_LIBRARY_FILE="$<TARGET_FILE:PlavikMS>")
add_dependencies(micr_mapping_tests PlavikMS)
