# The unit tests of the raster library and of image output once more, in a tree built without
# the sanitizers and run under valgrind: the sanitizers' allocator fills fresh memory, so a byte
# that an encoder never wrote into a file shows only here. Each executable runs whole, once.
# Built on demand (`make memcheck`, part of `make test`), not with the library.
find_package(GTest REQUIRED)
find_program(PVK_VALGRIND valgrind REQUIRED)
enable_testing()

function(pvk_add_memcheck_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEFINITIONS" ${ARGN})
  add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
  target_link_libraries(${name} PRIVATE pvk_internals GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE PVK_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
                             PVK_BINARY_DIR="${CMAKE_BINARY_DIR}" ${T_DEFINITIONS})
  add_test(NAME ${name} COMMAND ${PVK_VALGRIND} -q --error-exitcode=99 $<TARGET_FILE:${name}>)
endfunction()

file(GLOB raster_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/rasterlib/*_test.cpp)
pvk_add_memcheck_test(memcheck_rasterlib SOURCES ${raster_sources}
                      DEFINITIONS PVK_RASTER_REGRESSION_DIR="${CMAKE_SOURCE_DIR}/fuzz/regressions")
file(GLOB image_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/image/*_test.cpp)
pvk_add_memcheck_test(memcheck_image SOURCES ${image_sources})
