#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "platform/KeyboardTilt.h"

namespace brumelo {

// No sensor in a handheld reads beyond this (in g); a value past it is not a measurement.
constexpr double kMaxAccelG = 16.0;

// Reads a Linux IIO accelerometer from its sysfs folder: (raw + offset) x scale in m/s^2, turned
// by the mount matrix when there is one, converted to our convention. nullopt when unreadable or
// when a component is not a number or lies beyond kMaxAccelG.
std::optional<AccelSample> readIioAccelerometer(const std::string& deviceDir);

// The first IIO folder under root that has accelerometer channels, or empty.
std::string findIioAccelerometer(const std::string& root = "/sys/bus/iio/devices");

// 60 samples a second from the first source that works: an IIO device, a game controller's
// accelerometer, else the keyboard.
class Accelerometer {
  public:
    static constexpr double kInterval = 1.0 / 60.0;

    // iioDevice: a folder to read; empty scans sysfs unless scanning is off (headless runs).
    Accelerometer(const std::string& iioDevice, bool scanDevices, bool useControllers);
    ~Accelerometer();
    Accelerometer(const Accelerometer&) = delete;
    Accelerometer& operator=(const Accelerometer&) = delete;

    // Which source is in use, for the log.
    std::string sourceName() const;
    // One sample now; keys matter only to the keyboard source.
    AccelSample sample(double dt, const KeyboardTilt::Keys& keys);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brumelo
