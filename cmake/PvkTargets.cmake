# Helpers that turn the src/<folder>/ layout into targets.
#
#   pvk_<folder>    static library of the folder's .cpp/.c files (PIC, hidden symbols)
#   pvk_internals   interface target linking every folder library whole, as the shipped
#                   library does, for unit tests, benchmarks and fuzzers
#   PlavikMS        the shipped libPlavikMS.so: every folder library taken whole
#
# A folder may add a CMakeLists.fragment.cmake beside its sources for extra
# dependencies; by default every folder sees all third-party dependencies.

set(PVK_FOLDER_LIBS "")

function(pvk_add_folder folder)
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/src/${folder}/*.c)
  if(NOT srcs)
    return()
  endif()
  set(t pvk_${folder})
  add_library(${t} STATIC ${srcs})
  target_include_directories(${t} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
  target_compile_definitions(${t} PUBLIC PVK_USB_VENDOR_ID=${PVK_USB_VENDOR_ID} PVK_BUILDING_LIBRARY=1)
  # The image codecs are not linked: the library loads them when a file is first read or written.
  target_link_libraries(${t} PUBLIC PkgConfig::LIBUSB PkgConfig::FFTW opencv_core opencv_imgproc
                        JPEG::JPEG TIFF::TIFF Threads::Threads ${CMAKE_DL_LIBS})
  target_compile_definitions(${t} PRIVATE "PVK_IMAGE_CODECS=\"$<TARGET_SONAME_FILE_NAME:opencv_imgcodecs>\"")
  target_include_directories(${t} SYSTEM PUBLIC ${OpenCV_INCLUDE_DIRS})
  if(EXISTS ${CMAKE_SOURCE_DIR}/src/${folder}/CMakeLists.fragment.cmake)
    include(${CMAKE_SOURCE_DIR}/src/${folder}/CMakeLists.fragment.cmake)
  endif()
  set(PVK_FOLDER_LIBS ${PVK_FOLDER_LIBS} ${t} PARENT_SCOPE)
endfunction()

function(pvk_finish_internals)
  add_library(pvk_internals INTERFACE)
  string(JOIN "," group ${PVK_FOLDER_LIBS})
  # Whole, so that a test sees every definition the shipped library holds, not only the
  # objects its own references happen to pull in.
  target_link_libraries(pvk_internals INTERFACE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${group}>")
  target_include_directories(pvk_internals INTERFACE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)

  add_library(PlavikMS SHARED ${CMAKE_SOURCE_DIR}/cmake/shared_object.c)
  target_include_directories(PlavikMS PUBLIC ${CMAKE_SOURCE_DIR}/include)
  target_link_libraries(PlavikMS PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${group}>")
  target_link_options(PlavikMS PRIVATE -Wl,--no-undefined
                      -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/exports.map)
  set_property(TARGET PlavikMS APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/exports.map)
  # No run path: hosts and tests choose the libusb they load.
  set_target_properties(PlavikMS PROPERTIES OUTPUT_NAME PlavikMS SKIP_BUILD_RPATH ON)
  set(PVK_FOLDER_LIBS ${PVK_FOLDER_LIBS} PARENT_SCOPE)
endfunction()

# pvk_use_emulator(target): links the software scanner into a target that also takes the
# system's libusb through the internals. Both are libusb-1.0.so.0, and CMake would put their two
# folders on one run path and warn that one hides the other; the target gets a run path of its
# own instead, the software scanner first, so it runs from the build tree as it does in ctest.
function(pvk_use_emulator target)
  target_link_libraries(${target} PRIVATE pvkemu)
  set_target_properties(${target} PROPERTIES SKIP_BUILD_RPATH ON)
  target_link_options(${target} PRIVATE "LINKER:-rpath,${CMAKE_BINARY_DIR}/emulator:${CMAKE_BINARY_DIR}")
endfunction()

# pvk_use_font_dbs(target): the target reads the generated font databases; PVK_FONT_DB_DIR names
# their directory, and they are generated before it is built.
function(pvk_use_font_dbs target)
  target_compile_definitions(${target} PRIVATE PVK_FONT_DB_DIR="${PVK_FONT_DB_DIR}")
  add_dependencies(${target} pvk_font_dbs)
endfunction()

# pvk_add_test(name SOURCES... [LIBS ...]): a GoogleTest executable whose tests each run in
# their own process (gtest_discover_tests), with the software scanner first on the library path,
# and which removes the lock files of the software scanner's scanners when its tests are over.
function(pvk_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/tests/common/scanner_locks.cpp)
  if("pvkemu" IN_LIST T_LIBS)
    list(REMOVE_ITEM T_LIBS pvkemu)
    pvk_use_emulator(${name})
  endif()
  # Tests read and write pictures with the image codecs themselves.
  target_link_libraries(${name} PRIVATE ${T_LIBS} opencv_imgcodecs GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
      PVK_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
      PVK_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name}
      PROPERTIES ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/emulator:${CMAKE_BINARY_DIR}"
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60)
endfunction()
