#include <cstdio>

#include "acquisition/command_line.hpp"
#include "acquisition/exit_codes.hpp"

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::fputs("velscan: not built yet\n", stderr);
    return velscan::kExitRunFailed;
}
