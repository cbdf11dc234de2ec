# Scanner control: parameters, colour and side switches, modes and buffers, sheet handling and
# counters. Its sources are built into the tests with the core library and the correction
# record, so these tests do not wait on the rest of the folder.
set(PVK_CONTROL_SOURCES
  src/acquisition/acq_modes.cpp src/acquisition/acq_buffers.cpp src/acquisition/parameters.cpp
  src/acquisition/scanner_control.cpp src/acquisition/sheet.cpp src/acquisition/counters.cpp
  src/acquisition/img_info_utils.cpp src/acquisition/control_seams_default.cpp
  src/symbols/barcode_config.cpp src/api/control_calls.cpp)
list(TRANSFORM PVK_CONTROL_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
add_library(pvk_control_under_test STATIC ${PVK_CONTROL_SOURCES})
target_link_libraries(pvk_control_under_test PUBLIC pvk_engine_under_test pvk_core)

pvk_add_test(test_scanner_control
  SOURCES parameters_test.cpp acq_modes_test.cpp acq_buffers_test.cpp counters_test.cpp
  LIBS pvk_control_under_test)

# Sheet handling against the software scanner: the device layer and the core, no document road
# (the test counts the paper moves itself).
pvk_add_test(test_sheet
  SOURCES sheet_test.cpp
  LIBS pvkemu "$<LINK_GROUP:RESCAN,pvk_control_under_test,pvk_engine_under_test,pvk_device,pvk_core>")
