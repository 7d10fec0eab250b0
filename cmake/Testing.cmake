# jukepak_test_folder(LIBS lib... [DEPENDS target...]): one GoogleTest
# executable per *_test.cc file of the calling folder, linked with the given
# libraries and GTest::gtest_main. JUKEPAK_BIN_DIR tells the tests where the
# programs and driver modules are built, JUKEPAK_TEST_MODULE_DIR where the
# loader's test modules are (driver/tests/modules).
set(JUKEPAK_TEST_MODULE_DIR ${CMAKE_BINARY_DIR}/test_modules)
function(jukepak_test_folder)
  cmake_parse_arguments(ARG "" "" "LIBS;DEPENDS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  foreach(source ${test_sources})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE JUKEPAK_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                               JUKEPAK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                               JUKEPAK_TEST_MODULE_DIR="${JUKEPAK_TEST_MODULE_DIR}")
    jukepak_warnings(${name})
    if(ARG_DEPENDS)
      add_dependencies(${name} ${ARG_DEPENDS})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()
