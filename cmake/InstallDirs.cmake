# Where `cmake --install` and the packages put things.
#
# Linux: the usual prefix layout, bin/, share/doc/velscan/ and
# share/velscan/examples/.
# Windows: the programs and the documents at the top of the prefix, the
# examples in examples\. The folder is copied as it is onto the operators'
# host, and velscan.exe reads LOOKUPHS from the folder a scan is started in:
# the simulated instrument's LOOKUPHS must never lie beside the programs,
# where a real scan started there would be converted with it.
if(WIN32)
  set(CMAKE_INSTALL_BINDIR "." CACHE PATH "Programs")
  set(CMAKE_INSTALL_DOCDIR "." CACHE PATH "The README")
  # Not a cache entry: a build folder configured before keeps no "." here.
  set(VELSCAN_INSTALL_EXAMPLESDIR "examples")
endif()
include(GNUInstallDirs)
if(NOT WIN32)
  set(VELSCAN_INSTALL_EXAMPLESDIR "${CMAKE_INSTALL_DATADIR}/velscan/examples" CACHE PATH
      "The example lookup file and scene")
endif()
