// Windows has no SIGPIPE; the standard streams are left as they are.
#include "export/standard_streams.hpp"

namespace velscan::exporter {

StandardStreams PrepareStandardStreams() { return {}; }

}  // namespace velscan::exporter
