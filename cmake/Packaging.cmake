# What `cmake --install` puts in a prefix, and the release packages built from
# it by CPack: a .tar.gz and a .deb on Linux, a .zip on Windows. The export
# program installs itself where it is built; its destination is the same
# CMAKE_INSTALL_BINDIR.
install(TARGETS velscan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The pages the README links, beside it, so that its links hold where it is installed.
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The example lookup file, the scene and the scene format's description.
install(FILES examples/LOOKUPHS examples/room.scene examples/README.md
        DESTINATION ${VELSCAN_INSTALL_EXAMPLESDIR})
if(WIN32)
  # The operator's guide, at the top of the zip with Windows line ends, so
  # that any editor of the host shows its lines.
  configure_file(packaging/OPERATOR-GUIDE.txt ${CMAKE_BINARY_DIR}/OPERATOR-GUIDE.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/OPERATOR-GUIDE.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(VELSCAN_PACKAGE_CONTACT "velscan developers" CACHE STRING
    "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME velscan)
set(CPACK_PACKAGE_VENDOR "velscan")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Records one scan of a laser range finder behind a scanning mirror")
set(CPACK_PACKAGE_CONTACT "${VELSCAN_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  # Unpacked into the folder the operator chooses: OPERATOR-GUIDE.txt, the
  # programs and README.md side by side; the simulated instrument's LOOKUPHS,
  # room.scene and the scene format's description in examples/.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR TGZ DEB)
  # The .tar.gz holds one folder named after the package
  # (velscan-VERSION-Linux/) with bin/ and share/ inside, as the README says.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The C++ runtime the program links is found by dpkg's own tool, when present.
  find_program(VELSCAN_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(VELSCAN_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()
include(CPack)
