#include "platform/Accelerometer.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace brumelo {

namespace {

constexpr double kStandardGravity = 9.80665;

std::optional<double> readNumber(const std::filesystem::path& file) {
    std::ifstream in(file);
    double v = 0;
    if (!(in >> v) || !std::isfinite(v)) return std::nullopt;
    return v;
}

// "x1, y1, z1; x2, y2, z2; x3, y3, z3" into rows.
std::optional<std::array<std::array<double, 3>, 3>> readMountMatrix(
    const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!std::getline(in, text)) return std::nullopt;
    for (char& c : text)
        if (c == ',' || c == ';') c = ' ';
    std::istringstream words(text);
    std::array<std::array<double, 3>, 3> m{};
    for (auto& row : m)
        for (double& v : row)
            if (!(words >> v) || !std::isfinite(v)) return std::nullopt;
    return m;
}

// Garbage in a sysfs file, a wrong scale or a broken controller can give any number; gravity
// that is not a number, or thousands of g, would send every droplet's position to NaN.
bool plausible(const AccelSample& s) {
    return std::all_of(s.begin(), s.end(),
                       [](double c) { return std::isfinite(c) && std::fabs(c) <= kMaxAccelG; });
}

}  // namespace

std::optional<AccelSample> readIioAccelerometer(const std::string& deviceDir) {
    namespace fs = std::filesystem;
    const fs::path dir(deviceDir);
    const char* axes[3] = {"x", "y", "z"};
    AccelSample v{};
    auto common = readNumber(dir / "in_accel_scale");
    auto commonOffset = readNumber(dir / "in_accel_offset");
    for (int i = 0; i < 3; ++i) {
        std::string a = axes[i];
        auto raw = readNumber(dir / ("in_accel_" + a + "_raw"));
        if (!raw) return std::nullopt;
        auto scale = readNumber(dir / ("in_accel_" + a + "_scale"));
        if (!scale) scale = common;
        if (!scale) return std::nullopt;
        auto offset = readNumber(dir / ("in_accel_" + a + "_offset"));
        if (!offset) offset = commonOffset;
        v[i] = (*raw + offset.value_or(0.0)) * *scale;
    }
    if (auto m = readMountMatrix(dir / "in_accel_mount_matrix")) {
        AccelSample t{};
        for (int r = 0; r < 3; ++r)
            t[r] = (*m)[r][0] * v[0] + (*m)[r][1] * v[1] + (*m)[r][2] * v[2];
        v = t;
    }
    // The sensor measures the push that holds it up; we report the pull of gravity.
    for (double& c : v) c = -c / kStandardGravity;
    if (!plausible(v)) return std::nullopt;
    return v;
}

std::string findIioAccelerometer(const std::string& root) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(root, ec)) {
        if (fs::exists(entry.path() / "in_accel_x_raw", ec)) found.push_back(entry.path());
    }
    if (found.empty()) return {};
    std::sort(found.begin(), found.end());
    return found.front().string();
}

struct Accelerometer::Impl {
    std::string iio;
    SDL_GameController* controller = nullptr;
    KeyboardTilt keyboard;
    bool sdlInited = false;
};

Accelerometer::Accelerometer(const std::string& iioDevice, bool scanDevices, bool useControllers)
    : impl_(std::make_unique<Impl>()) {
    if (!iioDevice.empty()) {
        impl_->iio = iioDevice;
    } else if (scanDevices) {
        impl_->iio = findIioAccelerometer();
    }
    if (!impl_->iio.empty() && !readIioAccelerometer(impl_->iio)) {
        SDL_Log("accelerometer: %s cannot be read, trying others", impl_->iio.c_str());
        impl_->iio.clear();
    }
    if (impl_->iio.empty() && useControllers &&
        SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_SENSOR) == 0) {
        impl_->sdlInited = true;
        for (int i = 0; i < SDL_NumJoysticks() && !impl_->controller; ++i) {
            if (!SDL_IsGameController(i)) continue;
            SDL_GameController* c = SDL_GameControllerOpen(i);
            if (c && SDL_GameControllerHasSensor(c, SDL_SENSOR_ACCEL) &&
                SDL_GameControllerSetSensorEnabled(c, SDL_SENSOR_ACCEL, SDL_TRUE) == 0) {
                impl_->controller = c;
            } else if (c) {
                SDL_GameControllerClose(c);
            }
        }
    }
}

Accelerometer::~Accelerometer() {
    if (impl_->controller) SDL_GameControllerClose(impl_->controller);
    if (impl_->sdlInited) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_SENSOR);
}

std::string Accelerometer::sourceName() const {
    if (!impl_->iio.empty()) return "IIO " + impl_->iio;
    if (impl_->controller) {
        const char* name = SDL_GameControllerName(impl_->controller);
        return std::string("game controller ") + (name ? name : "");
    }
    return "keyboard (arrows tilt, space shakes)";
}

AccelSample Accelerometer::sample(double dt, const KeyboardTilt::Keys& keys) {
    if (!impl_->iio.empty()) {
        if (auto s = readIioAccelerometer(impl_->iio)) return *s;
    }
    if (impl_->controller) {
        float v[3] = {0, 0, 0};
        if (SDL_GameControllerGetSensorData(impl_->controller, SDL_SENSOR_ACCEL, v, 3) == 0) {
            const AccelSample s{-v[0] / kStandardGravity, -v[1] / kStandardGravity,
                                -v[2] / kStandardGravity};
            if (plausible(s)) return s;
        }
    }
    return impl_->keyboard.update(dt, keys);
}

}  // namespace brumelo
