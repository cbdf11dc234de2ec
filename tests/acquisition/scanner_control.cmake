# Scanner control: parameters, colour and side switches, modes and buffers, sheet handling and
# counters.
pvk_add_test(test_scanner_control
  SOURCES parameters_test.cpp acq_modes_test.cpp acq_buffers_test.cpp counters_test.cpp
  LIBS pvk_internals)

# Sheet handling against the software scanner.
pvk_add_test(test_sheet
  SOURCES sheet_test.cpp
  LIBS pvkemu pvk_internals)
