# nlohmann-json, header-only: the metadata files are written and read with it.
# The Linux build takes the installed package; the cross build reads the same
# headers of the build host through an include root holding only nlohmann/,
# so no other host header can reach a Windows compile.
add_library(velscan_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  find_path(VELSCAN_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include /usr/local/include
            NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(NOT VELSCAN_JSON_INCLUDE_DIR)
    message(FATAL_ERROR "nlohmann/json.hpp not found on the build host (apt-get install nlohmann-json3-dev)")
  endif()
  set(json_root ${CMAKE_BINARY_DIR}/include-roots/json)
  file(MAKE_DIRECTORY ${json_root})
  if(NOT EXISTS ${json_root}/nlohmann/json.hpp)
    file(COPY ${VELSCAN_JSON_INCLUDE_DIR}/nlohmann DESTINATION ${json_root})
  endif()
  target_include_directories(velscan_json SYSTEM INTERFACE ${json_root})
else()
  find_package(nlohmann_json 3.9 REQUIRED)
  target_link_libraries(velscan_json INTERFACE nlohmann_json::nlohmann_json)
endif()
