# Run as a script (cmake -P) at build time: writes the C++ source that holds
# the viewer's files as byte arrays, so velscan-export carries the page, the
# three.js library, its orbit controls and the library's licence notice.
#
#   -DOUTPUT=file.cpp -DPAGE_HEAD=... -DTHREE_JS=... -DORBIT_CONTROLS=... -DTHREE_LICENCE=...
#
# Byte arrays rather than string literals: any byte is safe, and no
# compiler's limit on the length of a literal applies.

foreach(input PAGE_HEAD THREE_JS ORBIT_CONTROLS THREE_LICENCE)
  if(NOT EXISTS "${${input}}")
    message(FATAL_ERROR "viewer file ${input} not found: ${${input}}")
  endif()
endforeach()

# Every file lands inside a <script> element of the page, which ends at the
# first "</script"; "<!--" there would change how the browser reads the rest.
function(velscan_check_script_safe path)
  file(READ "${path}" text)
  string(TOLOWER "${text}" lower)
  string(FIND "${lower}" "</script" close)
  string(FIND "${lower}" "<!--" comment)
  if(NOT close EQUAL -1 OR NOT comment EQUAL -1)
    message(FATAL_ERROR "${path} holds \"</script\" or \"<!--\" and cannot be embedded in the page")
  endif()
endfunction()
foreach(input THREE_JS ORBIT_CONTROLS THREE_LICENCE)
  velscan_check_script_safe("${${input}}")
endforeach()

function(velscan_byte_array name path out)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" length)
  if(length EQUAL 0)
    message(FATAL_ERROR "viewer file ${path} is empty")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # 32 bytes a line.
  string(REPEAT "0x..," 32 line)
  string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")
  set(${out} "constexpr unsigned char ${name}[] = {\n${bytes}\n};\n" PARENT_SCOPE)
endfunction()

velscan_byte_array(kPageHead "${PAGE_HEAD}" page_head)
velscan_byte_array(kThreeJs "${THREE_JS}" three_js)
velscan_byte_array(kOrbitControls "${ORBIT_CONTROLS}" orbit_controls)
velscan_byte_array(kThreeLicence "${THREE_LICENCE}" three_licence)

set(source "// Made by embed_assets.cmake at build time from:
//   ${PAGE_HEAD}
//   ${THREE_JS}
//   ${ORBIT_CONTROLS}
//   ${THREE_LICENCE}
#include \"export/viewer_assets.hpp\"

namespace velscan::exporter {
namespace {

${page_head}
${three_js}
${orbit_controls}
${three_licence}
std::string_view View(const unsigned char* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

}  // namespace

std::string_view ViewerPageHead() { return View(kPageHead, sizeof kPageHead); }
std::string_view ThreeJsLibrary() { return View(kThreeJs, sizeof kThreeJs); }
std::string_view ThreeJsOrbitControls() { return View(kOrbitControls, sizeof kOrbitControls); }
std::string_view ThreeJsLicence() { return View(kThreeLicence, sizeof kThreeLicence); }

}  // namespace velscan::exporter
")
# Only a changed source is written, so an unchanged one is not compiled again.
file(WRITE "${OUTPUT}.new" "${source}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
