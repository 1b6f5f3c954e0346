# velscan_utf8_program(<target>)
#
# On Windows a program reads its command line and opens its files through the
# narrow (ANSI) calls. Without more, those use the system's legacy code page,
# so a name typed with letters outside it (März.txt, a folder Jürgen) is
# changed or lost, and what the program writes into its metadata is not UTF-8.
# The program gets an application manifest that makes UTF-8 its ANSI code page
# (cmake/windows/utf8-code-page.manifest), and a start-up step that shows its
# console lines as UTF-8 (src/platform/console_code_page_win32.cpp). Elsewhere
# names are bytes already and nothing is added.
if(WIN32 AND NOT MSVC)
  enable_language(RC)
endif()

function(velscan_utf8_program target)
  if(NOT WIN32)
    return()
  endif()
  set(VELSCAN_UTF8_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/windows/utf8-code-page.manifest)
  if(MSVC)
    # Visual Studio's linker merges a listed manifest into the one it embeds.
    target_sources(${target} PRIVATE ${VELSCAN_UTF8_MANIFEST})
  else()
    set(resource ${CMAKE_BINARY_DIR}/windows-resources/utf8-code-page.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/utf8-code-page.rc.in ${resource} @ONLY)
    set_property(SOURCE ${resource} APPEND PROPERTY OBJECT_DEPENDS ${VELSCAN_UTF8_MANIFEST})
    target_sources(${target} PRIVATE ${resource})
  endif()
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/platform/console_code_page_win32.cpp)
endfunction()
