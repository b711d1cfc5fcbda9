// The headless input script: any text either reads as events or fails with one line naming the
// file and the line; nothing else may escape.

#include <cmath>
#include <string>

#include "FuzzSupport.h"
#include "app/Script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    using Kind = brumelo::ScriptEvent::Kind;
    try {
        const auto events = brumelo::parseScript(text, "fuzz.script");
        int lastFrame = 1;
        for (const auto& e : events) {
            FUZZ_CHECK(e.frame >= lastFrame);
            lastFrame = e.frame;
            FUZZ_CHECK(e.line >= 1);
            FUZZ_CHECK(std::isfinite(e.x) && std::isfinite(e.y));
            FUZZ_CHECK(std::isfinite(e.ax) && std::isfinite(e.ay) && std::isfinite(e.az));
            FUZZ_CHECK(e.level >= 0 && e.level <= 1);
            if (e.kind == Kind::Pick || e.kind == Kind::Screenshot) {
                FUZZ_CHECK(!e.path.empty());
                FUZZ_CHECK(e.path.find('\n') == std::string::npos);
            }
        }
    } catch (const brumelo::ScriptError& e) {
        const std::string message = e.what();
        FUZZ_CHECK(message.rfind("fuzz.script:", 0) == 0);
        FUZZ_CHECK(message.find('\n') == std::string::npos);
    }
    return 0;
}
