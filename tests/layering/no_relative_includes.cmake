# Fails when a source of src/, tests/ or bench/ includes a file through "../":
# such an include would reach a layer's headers past its include root.
file(GLOB_RECURSE sources
  ${ROOT}/src/*.cpp ${ROOT}/src/*.hpp
  ${ROOT}/tests/*.cpp ${ROOT}/tests/*.hpp
  ${ROOT}/bench/*.cpp ${ROOT}/bench/*.hpp)
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]\\.\\./")
  if(lines)
    list(APPEND found "${source}: ${lines}")
  endif()
endforeach()
if(found)
  list(JOIN found "\n" report)
  message(FATAL_ERROR "Includes that climb out of their folder:\n${report}")
endif()
message(STATUS "No relative include climbs out of its folder (${ROOT}).")
