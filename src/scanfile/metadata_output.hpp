#pragma once
// The metadata file of a table or a capture as one output of a file set, so
// it is committed together with whatever else the set holds.

#include <string>
#include <system_error>

#include "platform/files/output_files.hpp"

namespace velscan {

// Adds NAME.json for `described` to `outputs`; null with `why` when it
// cannot be created.
files::OutputFile* CreateMetadataOutput(files::OutputFiles& outputs, const std::string& described,
                                        std::error_code& why);

// Writes the document's text into `output`'s stream; false when the write
// failed (the set's commit then fails as well).
bool WriteMetadataText(files::OutputFile& output, const std::string& text);

}  // namespace velscan
