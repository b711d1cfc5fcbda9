// An IIO accelerometer's sysfs folder (--accel-device): the input is cut at NUL bytes into the
// contents of its files, in the order below; a part that starts with 0xFF leaves that file out.
// Whatever the files hold, a sample is either refused or finite and within a sensor's range.

#include <cmath>
#include <filesystem>

#include "FuzzSupport.h"
#include "platform/Accelerometer.h"

namespace {
const char* const kFiles[] = {
    "in_accel_x_raw",   "in_accel_y_raw",        "in_accel_z_raw",    "in_accel_scale",
    "in_accel_offset",  "in_accel_mount_matrix", "in_accel_x_scale",  "in_accel_y_scale",
    "in_accel_z_scale", "in_accel_x_offset",     "in_accel_y_offset", "in_accel_z_offset",
};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace fs = std::filesystem;
    const std::string dir = fuzz::scratchFolder() + "/iio";
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    const std::vector<std::string> parts = fuzz::splitInput(data, size, '\0');
    for (std::size_t i = 0; i < parts.size() && i < std::size(kFiles); ++i) {
        if (!parts[i].empty() && static_cast<unsigned char>(parts[i][0]) == 0xFF) continue;
        fuzz::writeBytes(dir + "/" + kFiles[i],
                         reinterpret_cast<const std::uint8_t*>(parts[i].data()), parts[i].size());
    }
    if (const auto sample = brumelo::readIioAccelerometer(dir)) {
        for (double c : *sample) {
            FUZZ_CHECK(std::isfinite(c));
            FUZZ_CHECK(std::fabs(c) <= brumelo::kMaxAccelG);
        }
    }
    return 0;
}
