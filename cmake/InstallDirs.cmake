# Where `cmake --install` and the packages put things.
#
# Linux: the usual prefix layout, bin/, share/doc/velscan/ and
# share/velscan/examples/.
# Windows: everything at the top of the prefix. The folder is copied as it is
# onto the operators' host, and velscan.exe reads LOOKUPHS from the folder it
# runs in.
if(WIN32)
  set(CMAKE_INSTALL_BINDIR "." CACHE PATH "Programs")
  set(CMAKE_INSTALL_DOCDIR "." CACHE PATH "The README")
  set(VELSCAN_INSTALL_EXAMPLESDIR "." CACHE PATH "The example lookup file and scene")
endif()
include(GNUInstallDirs)
set(VELSCAN_INSTALL_EXAMPLESDIR "${CMAKE_INSTALL_DATADIR}/velscan/examples" CACHE PATH
    "The example lookup file and scene")
