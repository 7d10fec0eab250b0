# Test executables. Every build file lists its sources and tests by name;
# jukepak_check_sources_listed() (called last by the top-level build file)
# stops the configuration when a .cc file of a built folder belongs to no
# target, so a new file cannot be left out of the build unnoticed.
#
# JUKEPAK_BIN_DIR tells the tests where the programs and driver modules are
# built, JUKEPAK_SOURCE_DIR where the sources are, JUKEPAK_TEST_MODULE_DIR
# where the loader's test modules are (driver/tests/modules).
set(JUKEPAK_TEST_MODULE_DIR ${CMAKE_BINARY_DIR}/test_modules)

function(jukepak_test_target name)
  target_compile_definitions(${name} PRIVATE JUKEPAK_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                             JUKEPAK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                             JUKEPAK_TEST_MODULE_DIR="${JUKEPAK_TEST_MODULE_DIR}")
  jukepak_warnings(${name})
endfunction()

# jukepak_gtests(TESTS a_test.cc... LIBS lib... [DEPENDS target...]): one
# GoogleTest executable per source, named after it, linked with the given
# libraries and GTest::gtest_main; each TEST is a ctest test (Suite.Name).
function(jukepak_gtests)
  cmake_parse_arguments(ARG "" "" "TESTS;LIBS;DEPENDS" ${ARGN})
  foreach(source ${ARG_TESTS})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    jukepak_test_target(${name})
    if(ARG_DEPENDS)
      add_dependencies(${name} ${ARG_DEPENDS})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()

# jukepak_qt_tests(TESTS a_test.cc... [SUPPORT x.cc...] LIBS lib... [DEPENDS
# target...]): one Qt Test executable per source, with the SUPPORT sources,
# on the offscreen platform; each executable is one ctest test of its name.
function(jukepak_qt_tests)
  cmake_parse_arguments(ARG "" "" "TESTS;SUPPORT;LIBS;DEPENDS" ${ARGN})
  foreach(source ${ARG_TESTS})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} ${ARG_SUPPORT})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
    jukepak_test_target(${name})
    if(ARG_DEPENDS)
      add_dependencies(${name} ${ARG_DEPENDS})
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
  endforeach()
endfunction()

# The .cc files below `dir` that its own build file owns: those of `dir` and
# of its subfolders without a build file of their own.
function(jukepak_owned_sources dir out)
  file(GLOB_RECURSE found RELATIVE ${dir} ${dir}/*.cc)
  set(owned "")
  foreach(file ${found})
    get_filename_component(folder ${dir}/${file} DIRECTORY)
    set(foreign FALSE)
    while(NOT folder STREQUAL dir)
      if(EXISTS ${folder}/CMakeLists.txt)
        set(foreign TRUE)
        break()
      endif()
      get_filename_component(folder ${folder} DIRECTORY)
    endwhile()
    if(NOT foreign)
      list(APPEND owned ${dir}/${file})
    endif()
  endforeach()
  set(${out} ${owned} PARENT_SCOPE)
endfunction()

function(jukepak_check_sources_listed dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  if(targets)
    set(listed "")
    foreach(target ${targets})
      get_target_property(sources ${target} SOURCES)
      if(sources)
        foreach(source ${sources})
          if(NOT IS_ABSOLUTE ${source})
            set(source ${dir}/${source})
          endif()
          list(APPEND listed ${source})
        endforeach()
      endif()
    endforeach()
    jukepak_owned_sources(${dir} owned)
    foreach(file ${owned})
      if(NOT file IN_LIST listed)
        message(FATAL_ERROR "${file} belongs to no target: list it in ${dir}/CMakeLists.txt")
      endif()
    endforeach()
  endif()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    jukepak_check_sources_listed(${subdir})
  endforeach()
endfunction()
