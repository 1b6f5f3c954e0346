#pragma once
// velscan-export's outputs, written with the file writer both programs share:
// each format writes into the stream of the OutputFile it is handed, and the
// outputs are committed together, so either every output is replaced or none
// is (a file written in place, such as a FIFO, excepted).

#include <stdexcept>
#include <string>

#include "platform/files/output_files.hpp"

namespace velscan::exporter {

// An output that could not be written; the message says which and why.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An output could not be put in place and an output replaced before it could
// not be given its earlier content back; the message says which file now
// stands where.
class OutputsChangedError : public OutputError {
public:
    using OutputError::OutputError;
};

class ExportOutputs {
public:
    ExportOutputs() = default;

    // The output for `target`, its stream open for binary writing; throws
    // OutputError "Error: Can't create the file TARGET".
    files::OutputFile& Create(const std::string& target);
    // Puts every output in place, all or none; throws OutputError when one
    // could not be written or put in place (then none was replaced), and
    // OutputsChangedError when the outputs could not all be put back.
    void Commit();

private:
    files::OutputFiles files_{".velscan-export"};
};

}  // namespace velscan::exporter
