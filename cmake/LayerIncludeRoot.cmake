# velscan_layer_include_root(<target> <layer>)
#
# Sources include a layer's headers as "layer/file.hpp". Each layer gets a
# directory of its own in the build tree, include-roots/<layer>, holding only
# <layer> (a symbolic link to src/<layer>), and its target publishes that
# directory. A layer therefore sees its own headers and those of the layers it
# links, and an include that runs up the layers fails with "No such file".
# Where no symbolic link can be made (a Windows host without the privilege),
# the layer's headers are copied instead; a header added or removed re-runs
# the configuration.
function(velscan_layer_include_root target layer)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${layer})
  set(source ${PROJECT_SOURCE_DIR}/src/${layer})
  file(MAKE_DIRECTORY ${root})
  if(NOT IS_SYMLINK ${root}/${layer})
    file(CREATE_LINK ${source} ${root}/${layer} RESULT linked SYMBOLIC)
    if(NOT linked EQUAL 0)
      file(GLOB headers CONFIGURE_DEPENDS ${source}/*.hpp)
      foreach(header IN LISTS headers)
        get_filename_component(name ${header} NAME)
        configure_file(${header} ${root}/${layer}/${name} COPYONLY)
      endforeach()
    endif()
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
