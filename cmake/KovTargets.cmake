# Helpers that place targets in the staged tree and install them in the same layout.

# A programmer library: <stage>/prog/<name>.so
function(kov_add_programmer_library name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${KOV_STAGE_PROG}
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${name} PRIVATE kov_plugin_abi)
  install(TARGETS ${name} LIBRARY DESTINATION ${KOV_INSTALL_PROG})
endfunction()

# A device library: <stage>/devs/<name>.so
function(kov_add_device_library name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${KOV_STAGE_DEVS}
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${name} PRIVATE kov_plugin_abi)
  install(TARGETS ${name} LIBRARY DESTINATION ${KOV_INSTALL_DEVS})
endfunction()

# A library used only by tests, built into <build>/tests/plugins/<name>.so and never installed.
function(kov_add_test_library name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/plugins
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${name} PRIVATE kov_plugin_abi)
endfunction()

# A GoogleTest suite made of every .cpp file in a folder.
function(kov_add_gtest_suite name folder)
  cmake_parse_arguments(ARG "" "" "LIBS;ENV" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${folder}/*.cpp)
  if(NOT _src)
    return()
  endif()
  add_executable(${name} ${_src})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    KOV_TEST_STAGE_DIR="${KOV_STAGE_DIR}"
    KOV_TEST_PLUGIN_DIR="${CMAKE_BINARY_DIR}/tests/plugins"
    KOV_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}/tests"
    KOV_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}" TIMEOUT 300)
endfunction()
