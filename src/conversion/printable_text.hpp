#pragma once
// Text that came from a file, a variable or the command line is shown in
// messages with its control bytes escaped, so a hostile name or table cannot
// retitle, recolour or clear the operator's terminal.

#include <string>
#include <string_view>

namespace velscan {

// Tab, line feed and carriage return as \t, \n and \r; every other byte below
// 0x20 and DEL as \xNN. The backslash passes unchanged, so a Windows path reads
// as the operator typed it; bytes of 0x80 and up pass too, so UTF-8 names stay
// readable (a lone C1 byte is not a control code in UTF-8).
std::string PrintableText(std::string_view text);

}  // namespace velscan
