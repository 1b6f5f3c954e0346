# The demo: a full default scan (200 lines) of the built-in scene on the
# simulated instrument in real time, as the ctest test "demo" (label demo).
# It runs in the build directory, which holds a copy of the example lookup
# file, and writes velscan-demo.txt there. The normal test presets exclude
# the label; `cmake --workflow --preset demo` builds the program and runs it.
if(NOT EXISTS ${PROJECT_SOURCE_DIR}/examples/LOOKUPHS)
  message(WARNING "examples/LOOKUPHS is missing: the demo test is not registered")
  return()
endif()
configure_file(${PROJECT_SOURCE_DIR}/examples/LOOKUPHS ${CMAKE_BINARY_DIR}/LOOKUPHS COPYONLY)
add_test(NAME demo COMMAND velscan velscan-demo.txt WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(demo PROPERTIES
  LABELS demo
  TIMEOUT 300
  ENVIRONMENT "VELSCAN_SIM=1;VELSCAN_CLOCK=real"
  ENVIRONMENT_MODIFICATION
    "VELSCAN_CARD=unset:;VELSCAN_LASER=unset:;VELSCAN_SIM_SCENE=unset:;VELSCAN_SIM_SEED=unset:;VELSCAN_SIM_FAULTS=unset:;VELSCAN_CAPTURE=unset:;VELSCAN_TRACE=unset:")
