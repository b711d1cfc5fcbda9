#include "app/ProgramOptions.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace brumelo {

namespace {

#ifndef BRUMELO_BUILD_ID
#define BRUMELO_BUILD_ID "development build"
#endif

template <typename T>
bool parseInteger(const std::string& text, T& out) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end;
}

}  // namespace

std::string usageText() {
    return "Usage: brumelo [OPTION]...\n"
           "A steamed-up window: wipe the steam, watch the droplets run.\n"
           "\n"
           "  --help                   show this text and exit\n"
           "  --version                show the version and exit\n"
           "  --headless               run without a window (also when no display opens)\n"
           "  --frames N               frames to draw in a headless run (default 250)\n"
           "  --seed N                 fix the random generator\n"
           "  --script FILE            timed input for a headless run\n"
           "  --screenshot FILE        write the last frame as PNG at exit\n"
           "  --data-dir DIR           where the background and the recording are kept\n"
           "  --pictures-dir DIR       where saved pictures go\n"
           "  --open-url-command CMD   opens the mail link instead of xdg-open\n"
           "  --mic-file FILE          audio fed as the microphone\n"
           "  --background FILE        use this picture as the background\n"
           "  --device-model NAME      act as this device (\"iPod Touch\" for one)\n"
           "  --accel-device PATH      an IIO accelerometer folder under /sys/bus/iio/devices\n"
           "  --scale N                window scale (1 to 16)\n"
           "  --render-scale N         pixels a point the picture is drawn at (1 to 4); by\n"
           "                           default the window's, 1 in a headless run\n"
           "  --pane WxH               the pane of a screen of this shape (320x480, the\n"
           "                           phone's, in any window); by default the window's,\n"
           "                           320x480 in a headless run\n"
           "  --fullscreen             start in full screen (F11 toggles)\n"
           "  --full-redraw            redraw the whole picture every frame, not only what "
           "changed\n"
           "  --look classic|glass     droplets as dark pictures or as lenses of water\n"
           "                           (default glass; L toggles)\n"
           "  --mic-gain G             microphone sensitivity, 0.1 to 100 (default 1; + and -)\n"
           "  --regrow[=on|off]        wiped steam fogs up again over a minute (R toggles)\n"
           "\n"
           "--look, --mic-gain and --regrow, and the keys L, +, - and R in the window, are\n"
           "remembered in $XDG_CONFIG_HOME/brumelo/settings.ini (~/.config without it).\n"
           "In the window M shows the microphone's level meter. A blow counts from the\n"
           "microphone's silence floor, measured over the first second after start.\n";
}

std::string versionText() { return std::string("Brumelo 1.2 (") + BRUMELO_BUILD_ID + ")\n"; }

ParsedOptions parseOptions(const std::vector<std::string>& arguments) {
    ParsedOptions result;
    Settings& s = result.settings;
    auto fail = [&result](std::string why) {
        result.action = ParsedOptions::Action::Fail;
        result.text = "brumelo: " + std::move(why) + " (try --help)";
        return result;
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool inlineValue = false;
        // Accept --name=value as well as --name value.
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        auto takeValue = [&](std::string& out) {
            if (inlineValue) {
                out = value;
            } else if (i + 1 < arguments.size()) {
                out = arguments[++i];
            } else {
                return false;
            }
            return true;
        };
        auto flag = [&](bool& out) {
            if (inlineValue) return false;
            out = true;
            return true;
        };

        if (name == "--help" && !inlineValue) {
            result.action = ParsedOptions::Action::PrintAndExit;
            result.text = usageText();
            return result;
        }
        if (name == "--version" && !inlineValue) {
            result.action = ParsedOptions::Action::PrintAndExit;
            result.text = versionText();
            return result;
        }
        if (name == "--headless" || name == "--fullscreen" || name == "--full-redraw") {
            bool& on = name == "--headless"     ? s.headless
                       : name == "--fullscreen" ? s.fullscreen
                                                : s.fullRedraw;
            if (!flag(on)) return fail("option " + name + " takes no value");
            continue;
        }

        if (name == "--regrow") {
            std::optional<bool> on = true;
            if (inlineValue && !(on = switchNamed(value)))
                return fail("bad value for --regrow: '" + value + "' (on or off)");
            s.regrow = *on;
            result.given.regrow = on;
            continue;
        }
        if (name == "--look" || name == "--mic-gain") {
            std::string v;
            if (!takeValue(v)) return fail("option " + name + " needs a value");
            if (name == "--look") {
                if (!(result.given.look = lookNamed(v)))
                    return fail("bad value for --look: '" + v + "' (classic or glass)");
                s.look = *result.given.look;
            } else {
                if (!(result.given.micGain = micGainNamed(v)))
                    return fail("bad value for --mic-gain: '" + v + "' (0.1 to 100)");
                s.micGain = *result.given.micGain;
            }
            continue;
        }

        std::string* text = nullptr;
        if (name == "--script") text = &s.scriptFile;
        if (name == "--screenshot") text = &s.screenshotFile;
        if (name == "--data-dir") text = &s.dataDir;
        if (name == "--pictures-dir") text = &s.picturesDir;
        if (name == "--open-url-command") text = &s.openUrlCommand;
        if (name == "--mic-file") text = &s.micFile;
        if (name == "--background") text = &s.backgroundFile;
        if (name == "--device-model") text = &s.deviceModel;
        if (name == "--accel-device") text = &s.accelDevice;
        if (text) {
            if (!takeValue(*text)) return fail("option " + name + " needs a value");
            if (text->empty()) return fail("option " + name + " needs a non-empty value");
            continue;
        }

        if (name == "--frames" || name == "--seed" || name == "--scale" ||
            name == "--render-scale") {
            std::string number;
            if (!takeValue(number)) return fail("option " + name + " needs a value");
            if (name == "--frames") {
                if (!parseInteger(number, s.frames) || s.frames < 0)
                    return fail("bad value for --frames: '" + number + "' (a whole number >= 0)");
            } else if (name == "--seed") {
                std::uint32_t seed = 0;
                if (!parseInteger(number, seed))
                    return fail("bad value for --seed: '" + number + "' (0 to 4294967295)");
                s.seed = seed;
            } else if (name == "--scale") {
                if (!parseInteger(number, s.scale) || s.scale < 1 || s.scale > 16)
                    return fail("bad value for --scale: '" + number + "' (1 to 16)");
            } else {
                if (!parseInteger(number, s.renderScale) || s.renderScale < 1 || s.renderScale > 4)
                    return fail("bad value for --render-scale: '" + number + "' (1 to 4)");
            }
            continue;
        }

        if (name == "--pane") {
            std::string v;
            if (!takeValue(v)) return fail("option --pane needs a value");
            const auto x = v.find('x');
            int w = 0, h = 0;
            if (x == std::string::npos || !parseInteger(v.substr(0, x), w) ||
                !parseInteger(v.substr(x + 1), h) || w < 1 || h < 1 || w > 10000 || h > 10000)
                return fail("bad value for --pane: '" + v + "' (WxH, such as 320x480)");
            s.paneWidth = w;
            s.paneHeight = h;
            continue;
        }

        if (name.rfind("-", 0) == 0) return fail("unknown option " + name);
        return fail("unexpected argument '" + name + "'");
    }
    return result;
}

}  // namespace brumelo
