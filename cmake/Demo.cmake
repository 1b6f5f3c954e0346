# The demo: a full default scan (200 lines) of the built-in scene on the
# simulated instrument in real time, as an operator sees it. The target `demo`
# (not part of `all`) runs velscan in the build directory next to a copy of the
# example lookup file and writes velscan-demo.txt and its metadata there, with
# the capture velscan-live follows for the live page; with
# the export program built, also velscan-demo.ply, the viewer velscan-demo.html
# and, where it writes pictures, velscan-demo.png. It ends with the full path
# of each file it made.
#
# USES_TERMINAL runs it in Ninja's console pool: the program's standard error
# is the terminal, so its status line shows. Every other VELSCAN_ variable is
# cleared, so a setting left in the shell cannot change the demo.
set(velscan_demo_cleared)
foreach(variable IN ITEMS VELSCAN_CARD VELSCAN_LASER VELSCAN_SIM_SCENE VELSCAN_SIM_SEED
                          VELSCAN_SIM_FAULTS VELSCAN_CAPTURE VELSCAN_TRACE VELSCAN_LIVE VELSCAN_PICTURES)
  list(APPEND velscan_demo_cleared --unset=${variable})
endforeach()

set(velscan_demo_commands
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/examples/LOOKUPHS LOOKUPHS
  COMMAND ${CMAKE_COMMAND} -E env ${velscan_demo_cleared} VELSCAN_SIM=1 VELSCAN_CLOCK=real
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velscan> velscan-demo.txt)
# velscan-live draws the live page from the capture while the scan runs.
set(velscan_demo_programs velscan velscan-live)
if(TARGET velscan-export)
  set(velscan_demo_picture)
  get_target_property(velscan_export_png velscan-export VELSCAN_WRITES_PNG)
  if(velscan_export_png)
    set(velscan_demo_picture --png velscan-demo.png)
  endif()
  list(APPEND velscan_demo_commands
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velscan-export> velscan-demo.txt
            ${velscan_demo_picture} --ply velscan-demo.ply --html velscan-demo.html)
  list(APPEND velscan_demo_programs velscan-export)
endif()

# At the end, where everything is, by its full path.
set(velscan_demo_made
  "table:        ${CMAKE_BINARY_DIR}/velscan-demo.txt"
  "metadata:     ${CMAKE_BINARY_DIR}/velscan-demo.txt.json"
  "live page:    ${CMAKE_BINARY_DIR}/velscan-demo.txt.live.html (open it in a browser during the scan)")
if(TARGET velscan-export)
  if(velscan_export_png)
    list(APPEND velscan_demo_made "picture:      ${CMAKE_BINARY_DIR}/velscan-demo.png")
  endif()
  list(APPEND velscan_demo_made
    "point cloud:  ${CMAKE_BINARY_DIR}/velscan-demo.ply"
    "viewer:       ${CMAKE_BINARY_DIR}/velscan-demo.html (open it in a browser)")
endif()
list(APPEND velscan_demo_commands COMMAND ${CMAKE_COMMAND} -E echo "The demo made:")
foreach(line IN LISTS velscan_demo_made)
  list(APPEND velscan_demo_commands COMMAND ${CMAKE_COMMAND} -E echo "  ${line}")
endforeach()

add_custom_target(demo ${velscan_demo_commands}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Demo: a simulated scan of 200 lines in real time (about 45 s)"
  USES_TERMINAL VERBATIM)
add_dependencies(demo ${velscan_demo_programs})
