# Deskew, crop, stamp and resize of acquired sides; image files.
pvk_add_test(test_acquisition_geometry
  SOURCES box_convention_test.cpp plane_copy_test.cpp resize_test.cpp deskew_rules_test.cpp
          deskew_synthetic_test.cpp image_file_test.cpp synthetic_document.cpp
  LIBS pvk_internals)
