// The command line: arguments are the input cut at NUL bytes. Every list either runs with
// settings in range, prints and exits, or fails with one reason.

#include "FuzzSupport.h"
#include "app/ProgramOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments = fuzz::splitInput(data, size, '\0');
    if (size == 0) arguments.clear();
    const brumelo::ParsedOptions parsed = brumelo::parseOptions(arguments);
    using Action = brumelo::ParsedOptions::Action;
    switch (parsed.action) {
        case Action::Run: {
            const brumelo::Settings& s = parsed.settings;
            FUZZ_CHECK(s.frames >= 0);
            FUZZ_CHECK(s.scale == 0 || (s.scale >= 1 && s.scale <= 16));
            break;
        }
        case Action::PrintAndExit:
            FUZZ_CHECK(!parsed.text.empty());
            break;
        case Action::Fail:
            FUZZ_CHECK(parsed.text.rfind("brumelo: ", 0) == 0);
            break;
    }
    return 0;
}
