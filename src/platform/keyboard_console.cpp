#include "platform/keyboard_console.hpp"

#include <utility>

#include "platform/console_keys.hpp"

namespace velscan::platform {

namespace {

class KeyboardConsole final : public Console {
public:
    explicit KeyboardConsole(KeyboardFunctions functions) : functions_(std::move(functions)) {}

    bool KeyWaiting() override { return functions_.keyHit() != 0; }
    int ReadKey() override { return ReadKeystroke(functions_.readCode); }

private:
    KeyboardFunctions functions_;
};

}  // namespace

std::unique_ptr<Console> CreateKeyboardConsole(KeyboardFunctions functions) {
    return std::make_unique<KeyboardConsole>(std::move(functions));
}

}  // namespace velscan::platform
