# velkorin_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable per subsystem, registered whole with CTest. Under the MinGW toolchain
# CMAKE_CROSSCOMPILING_EMULATOR makes CTest run it through Wine.
function(velkorin_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
