// A long run of random input against the whole headless program: several fingers, tilts and
// shakes, blowing, double taps and menu buttons, picks of good and bad files, screenshots. Every
// frame all positions in the world must be numbers; memory sampled along the way must stay flat.
// The input is written as a script as it is made, so any run can be replayed by the program.
// With --camera-pipeline the live camera stays on behind it all, a frame of the source each
// frame, and must stay on: nothing is picked and the menu's "Live camera" is never pressed.
//
//   brumelo_soak [--seconds N | --frames N] [--seed N] [--keep] [--script-out FILE]
//                [--camera-pipeline DESC]
//
// Prints the frames drawn and the resident memory after warming up and at the end; exits 1 on a
// fault (with the frame), 0 otherwise.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/AlertView.h"
#include "app/BackgroundPictures.h"
#include "app/LiveCamera.h"
#include "app/Program.h"
#include "app/Script.h"
#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "physics/Knode.h"
#include "platform/Image.h"
#include "steam/DropletsScreen.h"

namespace fs = std::filesystem;
using brumelo::ScriptEvent;
using Kind = ScriptEvent::Kind;

namespace {

double residentMegabytes() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1048576.0;
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Pictures to pick, good and bad, made in the scratch folder.
std::vector<std::string> makePickFiles(const fs::path& dir) {
    fs::create_directories(dir);
    std::vector<std::string> files;
    const fs::path resources = fs::path(BRUMELO_SOURCE_DIR) / "resources";
    files.push_back((resources / "back1.png").string());
    files.push_back((resources / "Droplet1.png").string());
    const Image wide = Image::filled(1600, 1200, 200, 120, 40, 255, ImageAlpha::None);
    writeBytes(dir / "wide.jpg", brumelo::encodeJPEG(wide, 0.8));
    files.push_back((dir / "wide.jpg").string());
    for (const auto& entry :
         fs::directory_iterator(fs::path(BRUMELO_SOURCE_DIR) / "tests/fuzz/corpus/image"))
        files.push_back(entry.path().string());
    // Bad ones: cut short, not a picture, empty, a folder, missing.
    std::ifstream in(resources / "back1.png", std::ios::binary);
    std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    png.resize(png.size() / 2);
    writeBytes(dir / "half.png", png);
    files.push_back((dir / "half.png").string());
    writeBytes(dir / "notes.png", {'h', 'e', 'l', 'l', 'o', '\n'});
    files.push_back((dir / "notes.png").string());
    writeBytes(dir / "empty.jpg", {});
    files.push_back((dir / "empty.jpg").string());
    fs::create_directories(dir / "folder.png");
    files.push_back((dir / "folder.png").string());
    files.push_back((dir / "missing.png").string());
    return files;
}

// Makes the input a frame at a time, as a person with restless hands would.
class Player {
  public:
    Player(std::uint32_t seed, std::vector<std::string> pickFiles, fs::path shots, bool camera)
        : random_(seed),
          pickFiles_(std::move(pickFiles)),
          shots_(std::move(shots)),
          camera_(camera) {}

    std::vector<ScriptEvent> frame(int number) {
        events_.clear();
        frame_ = number;
        const bool alertUp = AlertView::visibleAlert() != nullptr;
        if (alertUp || brumelo::imagePickerVisible()) {
            answerDialogs(alertUp);
        } else {
            moveFingers();
            if (chance(1.0 / 250)) doubleTap();
        }
        tilt();
        blow();
        if (!camera_ && chance(1.0 / 400)) pick(pickFiles_[index(pickFiles_.size())]);
        if (chance(1.0 / 500)) {
            ScriptEvent e = make(Kind::Screenshot);
            e.path = (shots_ / ("shot-" + std::to_string(index(4)) + ".png")).string();
            events_.push_back(e);
        }
        return events_;
    }

  private:
    struct Finger {
        std::int64_t id;
        double x, y;
    };

    bool chance(double p) { return std::uniform_real_distribution<>(0, 1)(random_) < p; }
    double between(double lo, double hi) {
        return std::uniform_real_distribution<>(lo, hi)(random_);
    }
    std::size_t index(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
    }

    ScriptEvent make(Kind kind) {
        ScriptEvent e;
        e.frame = frame_;
        e.kind = kind;
        return e;
    }
    void touch(Kind kind, const Finger& f, int taps = 1) {
        ScriptEvent e = make(kind);
        e.id = f.id;
        e.x = f.x;
        e.y = f.y;
        e.taps = taps;
        events_.push_back(e);
    }
    void pick(const std::string& path) {
        ScriptEvent e = make(Kind::Pick);
        e.path = path;
        events_.push_back(e);
    }

    void moveFingers() {
        if (fingers_.size() < 3 && chance(fingers_.empty() ? 0.05 : 0.01)) {
            fingers_.push_back({nextId_++, between(-10, 330), between(-10, 490)});
            touch(Kind::TouchDown, fingers_.back());
        }
        for (std::size_t i = 0; i < fingers_.size();) {
            Finger& f = fingers_[i];
            f.x = std::clamp(f.x + between(-25, 25), -40.0, 360.0);
            f.y = std::clamp(f.y + between(-25, 25), -40.0, 520.0);
            touch(Kind::TouchMove, f);
            if (chance(0.02)) {
                touch(chance(0.9) ? Kind::TouchUp : Kind::TouchCancel, f);
                fingers_.erase(fingers_.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
    }

    void doubleTap() {
        for (const Finger& f : fingers_) touch(Kind::TouchUp, f);
        fingers_.clear();
        const Finger f{nextId_++, between(20, 300), between(20, 460)};
        touch(Kind::TouchDown, f);
        touch(Kind::TouchUp, f, 2);
    }

    // A menu waits a little, then a button; an open picker gets a file or a cancel.
    void answerDialogs(bool alertUp) {
        for (const Finger& f : fingers_) touch(Kind::TouchCancel, f);
        fingers_.clear();
        if (!chance(1.0 / 20)) return;
        if (alertUp) {
            ScriptEvent e = make(Kind::Button);
            e.index = static_cast<int>(index(5));  // 4 is no button at all in most
            const AlertView* alert = AlertView::visibleAlert();
            if (camera_ && alert->buttonTitleAtIndex(e.index) == "Live camera") e.index = 0;
            events_.push_back(e);
        } else if (camera_ || chance(0.3)) {
            events_.push_back(make(Kind::PickCancel));
        } else {
            pick(pickFiles_[index(pickFiles_.size())]);
        }
    }

    void tilt() {
        if (shaking_ > 0) {
            --shaking_;
            ScriptEvent e = make(Kind::Accel);
            e.ax = between(-3, 3);
            e.ay = between(-3, 1);
            e.az = between(-1.5, 1.5);
            events_.push_back(e);
            return;
        }
        if (chance(1.0 / 600)) shaking_ = static_cast<int>(between(10, 40));
        if (chance(1.0 / 100)) {
            roll_ = between(-1.2, 1.2);
            pitch_ = between(-0.8, 0.8);
        }
        if (frame_ % 3 == 0) {
            ScriptEvent e = make(Kind::Accel);
            e.ax = std::sin(roll_) * std::cos(pitch_);
            e.ay = -std::cos(roll_) * std::cos(pitch_);
            e.az = -std::sin(pitch_);
            events_.push_back(e);
        }
    }

    void blow() {
        if (blowing_ > 0 && --blowing_ == 0) {
            ScriptEvent e = make(Kind::Mic);
            e.level = 0;
            events_.push_back(e);
        } else if (blowing_ == 0 && chance(1.0 / 300)) {
            blowing_ = static_cast<int>(between(15, 60));
            ScriptEvent e = make(Kind::Mic);
            e.level = between(0.75, 1.0);
            events_.push_back(e);
        }
    }

    std::mt19937 random_;
    std::vector<std::string> pickFiles_;
    fs::path shots_;
    bool camera_;
    std::vector<ScriptEvent> events_;
    std::vector<Finger> fingers_;
    std::int64_t nextId_ = 1;
    int frame_ = 0;
    int shaking_ = 0;
    int blowing_ = 0;
    double roll_ = 0, pitch_ = 0;
};

std::string scriptLine(const ScriptEvent& e) {
    std::ostringstream out;
    out.precision(6);
    out << e.frame << ' ';
    switch (e.kind) {
        case Kind::TouchDown:
        case Kind::TouchMove:
        case Kind::TouchUp:
        case Kind::TouchCancel:
            out << (e.kind == Kind::TouchDown   ? "touch-down"
                    : e.kind == Kind::TouchMove ? "touch-move"
                    : e.kind == Kind::TouchUp   ? "touch-up"
                                                : "touch-cancel")
                << ' ' << e.id << ' ' << e.x << ' ' << e.y;
            if (e.kind == Kind::TouchUp) out << ' ' << e.taps;
            break;
        case Kind::Accel:
            out << "accel " << e.ax << ' ' << e.ay << ' ' << e.az;
            break;
        case Kind::Mic:
            out << "mic " << e.level;
            break;
        case Kind::Button:
            out << "button " << e.index;
            break;
        case Kind::Pick:
            out << "pick " << e.path;
            break;
        case Kind::PickCancel:
            out << "pick cancel";
            break;
        case Kind::Screenshot:
            out << "screenshot " << e.path;
            break;
    }
    return out.str();
}

// The first node whose position or velocity is not a number, or nullptr.
const Knode* brokenNode(const DropletsScreen& screen) {
    for (const auto& node : screen.nodes())
        for (int i : {2, 3, 6, 7})
            if (!std::isfinite(node->data[i])) return node.get();
    return nullptr;
}

}  // namespace

// Under AddressSanitizer freed blocks wait in a quarantine before reuse, and resident memory grows
// until it is full: a small one fills in seconds, so that growth after the warm-up means a leak.
// (ASAN_OPTIONS still overrides it.)
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

int main(int argc, char** argv) {
    double seconds = 60;
    long frameLimit = 0;
    std::uint32_t seed = 1;
    bool keep = false;
    std::string scriptOut, cameraPipeline;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--seconds" && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (a == "--frames" && hasValue) {
            frameLimit = std::atol(argv[++i]);
        } else if (a == "--seed" && hasValue) {
            seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--script-out" && hasValue) {
            scriptOut = argv[++i];
        } else if (a == "--camera-pipeline" && hasValue) {
            cameraPipeline = argv[++i];
        } else if (a == "--keep") {
            keep = true;
        } else {
            std::fprintf(stderr,
                         "usage: brumelo_soak [--seconds N | --frames N] [--seed N] [--keep] "
                         "[--script-out FILE] [--camera-pipeline DESC]\n");
            return 2;
        }
    }

    std::string scratch = (fs::temp_directory_path() / "brumelo-soak.XXXXXX").string();
    if (!::mkdtemp(scratch.data())) {
        std::perror("soak: mkdtemp");
        return 1;
    }
    const fs::path dir = scratch;
    if (scriptOut.empty()) scriptOut = (dir / "soak.script").string();
    std::ofstream script(scriptOut);
    script << "# brumelo_soak --seed " << seed << "\n";

    brumelo::Settings s;
    s.headless = true;
    s.seed = seed;
    s.dataDir = (dir / "data").string();
    s.picturesDir = (dir / "pictures").string();
    s.openUrlCommand = "true";
    s.resourceDir = BRUMELO_SOURCE_DIR "/resources";
    s.deviceModel = "Linux desktop";
    s.cameraPipeline = cameraPipeline;
    s.cameraAsked = !cameraPipeline.empty();
    fs::create_directories(s.dataDir);
    fs::create_directories(dir / "shots");
    Player player(seed, makePickFiles(dir / "files"), dir / "shots", s.cameraAsked);

    int status = 0;
    long frames = 0;
    double warmRss = 0, endRss = 0, peakRss = 0;
    // The lowest resident memory in each quarter of the run: allocators and the sanitizer let it
    // ebb and flow by tens of megabytes, but a leak lifts the low tide.
    std::array<double, 4> lowest{0, 0, 0, 0};
    {
        brumelo::Program program(s);
        if (int launched = program.launch()) {
            std::fprintf(stderr, "soak: the program did not start (%d)\n", launched);
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        auto elapsed = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        // Memory is judged from when the first quarter of the run is over: caches, the
        // sanitizer's quarantine of freed blocks and the GL driver's pools fill up first.
        double nextReport = 0.1;
        while (frameLimit > 0 ? frames < frameLimit : elapsed() < seconds) {
            ++frames;
            for (const ScriptEvent& e : player.frame(static_cast<int>(frames))) {
                script << scriptLine(e) << '\n';
                program.deliver(e);
            }
            program.stepFrame();
            // A camera that dropped out would leave nothing of it to measure.
            if (s.cameraAsked && !brumelo::liveCameraOn()) {
                std::fprintf(stderr, "soak: frame %ld: the camera went off\n", frames);
                status = 1;
                break;
            }
            TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
            if (app && app->dropletScreen()) {
                if (const Knode* node = brokenNode(*app->dropletScreen())) {
                    std::fprintf(stderr, "soak: frame %ld: a node at (%g, %g) moving (%g, %g)\n",
                                 frames, node->data[3], node->data[7], node->data[2],
                                 node->data[6]);
                    status = 1;
                    break;
                }
            }
            if (frames % 50 == 0) {
                const double rss = residentMegabytes();
                peakRss = std::max(peakRss, rss);
                const double progress =
                    frameLimit > 0 ? static_cast<double>(frames) / frameLimit : elapsed() / seconds;
                const auto quarter = static_cast<std::size_t>(std::clamp(progress * 4.0, 0.0, 3.0));
                if (lowest[quarter] == 0 || rss < lowest[quarter]) lowest[quarter] = rss;
                if (progress >= nextReport) {
                    std::printf("soak: frame %ld, RSS %.1f MB\n", frames, rss);
                    std::fflush(stdout);
                    nextReport += 0.1;
                }
            }
        }
        script.flush();
    }
    warmRss = lowest[1];
    endRss = lowest[3];
    // Past the warm-up memory stays flat, give or take the allocators' tides.
    const double minutes = static_cast<double>(frames) / 50.0 / 60.0;
    const double allowed = 8.0 + 0.05 * warmRss;
    std::printf(
        "soak: %ld frames (%.1f minutes of play), RSS at its lowest %.1f MB after warm-up and "
        "%.1f MB at the end, %.1f MB at most\n",
        frames, minutes, warmRss, endRss, peakRss);
    if (status == 0 && warmRss > 0 && endRss - warmRss > allowed) {
        std::fprintf(stderr, "soak: memory grew by %.1f MB (at most %.1f MB allowed)\n",
                     endRss - warmRss, allowed);
        status = 1;
    }
    if (!keep && status == 0) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    } else {
        std::fprintf(stderr, "soak: kept %s (the input: %s)\n", dir.c_str(), scriptOut.c_str());
    }
    return status;
}
