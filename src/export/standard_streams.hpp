#pragma once
// The standard streams of velscan-export, made safe before any file is
// opened: a descriptor 0, 1 or 2 that was closed at start is opened on the
// null device, so no output file can take its number and receive console
// text; a reader of standard output that has gone makes a write fail
// instead of ending the program (SIGPIPE ignored).

namespace velscan::exporter {

struct StandardStreams {
    bool outputWasClosed = false;  // the summary then has nowhere to go
};

StandardStreams PrepareStandardStreams();

}  // namespace velscan::exporter
