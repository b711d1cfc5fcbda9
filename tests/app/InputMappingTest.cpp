#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/Accelerometer.h"
#include "platform/InputMapping.h"

using brumelo::Letterbox;
using brumelo::TapCounter;

TEST(Letterbox, WholeScaleCentredWithBars) {
    Letterbox box = Letterbox::fit(1000, 1000);  // scale 2 fits: 640 x 960
    EXPECT_EQ(box.width, 640);
    EXPECT_EQ(box.height, 960);
    EXPECT_EQ(box.x, 180);
    EXPECT_EQ(box.y, 20);
    double x = 0, y = 0;
    ASSERT_TRUE(box.toPoints(180, 20, x, y));
    EXPECT_DOUBLE_EQ(x, 0);
    EXPECT_DOUBLE_EQ(y, 0);
    ASSERT_TRUE(box.toPoints(180 + 320, 20 + 480, x, y));
    EXPECT_DOUBLE_EQ(x, 160);
    EXPECT_DOUBLE_EQ(y, 240);
    // Presses on the bars fall outside the picture.
    EXPECT_FALSE(box.toPoints(179, 500, x, y));
    EXPECT_FALSE(box.toPoints(500, 980, x, y));
    EXPECT_FALSE(box.toPoints(820, 500, x, y));
}

TEST(Letterbox, ShrinksKeepingShapeWhenTooSmallAndHonoursForcedScale) {
    Letterbox small = Letterbox::fit(160, 480);
    EXPECT_EQ(small.width, 160);
    EXPECT_EQ(small.height, 240);
    EXPECT_EQ(small.y, 120);
    double x = 0, y = 0;
    ASSERT_TRUE(small.toPoints(80, 240, x, y));
    EXPECT_DOUBLE_EQ(x, 160);
    EXPECT_DOUBLE_EQ(y, 240);
    Letterbox forced = Letterbox::fit(2000, 2000, 1);
    EXPECT_EQ(forced.width, 320);
    EXPECT_EQ(forced.x, 840);
    EXPECT_EQ(Letterbox::fit(0, 0).width, 0);
    EXPECT_FALSE(Letterbox::fit(0, 0).toPoints(0, 0, x, y));
}

TEST(Letterbox, ThePaneTakesTheScreensShapeAndFillsItsWindow) {
    using brumelo::paneForScreen;
    using brumelo::PaneSize;
    EXPECT_EQ(paneForScreen(640, 960), (PaneSize{320, 480}));
    EXPECT_EQ(paneForScreen(390, 844), (PaneSize{320, 692}));   // a 19.5:9 phone
    EXPECT_EQ(paneForScreen(768, 1024), (PaneSize{360, 480}));  // a 3:4 tablet: wider
    EXPECT_EQ(paneForScreen(1000, 1000), (PaneSize{480, 480}));
    EXPECT_EQ(paneForScreen(1280, 720), (PaneSize{320, 480}));  // sideways: the phone's
    EXPECT_EQ(paneForScreen(1, 100000).height, 1920);           // no endless pane
    // At three pixels a point the phone's 1170 x 2532 pixels show the pane edge to edge.
    const Letterbox box = Letterbox::fill(1170, 2532, paneForScreen(390, 844));
    EXPECT_EQ(box.x, 0);
    EXPECT_EQ(box.y, 0);
    EXPECT_EQ(box.height, 2532);
    double x = 0, y = 0;
    ASSERT_TRUE(box.toPoints(1169.9, 2531.9, x, y));
    EXPECT_NEAR(x, 320, 0.1);
    EXPECT_NEAR(y, 692, 0.1);
}

TEST(TapCounter, CountsSuccessiveTapsWithinTimeAndDistance) {
    TapCounter taps;
    int c = taps.touchBegan(1.0, 100, 100);
    EXPECT_EQ(c, 1);
    taps.touchEnded(1.05, 100, 100, c, 100, 100);
    c = taps.touchBegan(1.3, 110, 105);  // 0.25 s later, 11 points away
    EXPECT_EQ(c, 2);
    taps.touchEnded(1.35, 110, 105, c, 110, 105);
    c = taps.touchBegan(1.6, 110, 105);
    EXPECT_EQ(c, 3);
    taps.touchEnded(1.65, 110, 105, c, 110, 105);
    EXPECT_EQ(taps.touchBegan(2.1, 110, 105), 1);  // too late
    EXPECT_EQ(taps.touchBegan(1.7, 140, 105), 1);  // too far
}

TEST(TapCounter, AStrokeIsNoTap) {
    TapCounter taps;
    int c = taps.touchBegan(1.0, 100, 100);
    taps.touchEnded(1.1, 200, 100, c, 100, 100);
    EXPECT_EQ(taps.touchBegan(1.2, 200, 100), 1);
}

namespace {
std::filesystem::path fakeIio(const std::string& name) {
    auto dir = std::filesystem::path(BRUMELO_BINARY_DIR) / "test-iio" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}
void put(const std::filesystem::path& f, const std::string& text) { std::ofstream(f) << text; }
}  // namespace

TEST(Accelerometer, IioReadsScaleOffsetAndMountMatrixIntoOurConvention) {
    auto dir = fakeIio("iio:device0");
    put(dir / "in_accel_x_raw", "0\n");
    put(dir / "in_accel_y_raw", "1000\n");  // held upright: the sensor feels +1 g upward
    put(dir / "in_accel_z_raw", "-10\n");
    put(dir / "in_accel_scale", "0.00980665\n");
    put(dir / "in_accel_offset", "10\n");
    auto s = brumelo::readIioAccelerometer(dir.string());
    ASSERT_TRUE(s);
    EXPECT_NEAR((*s)[0], -0.01, 1e-9);  // the offset applies to every axis
    EXPECT_NEAR((*s)[1], -1.01, 1e-9);
    EXPECT_NEAR((*s)[2], 0.0, 1e-9);
    // A sensor mounted turned a quarter: its x is the device's y.
    put(dir / "in_accel_mount_matrix", "0, 1, 0; -1, 0, 0; 0, 0, 1\n");
    s = brumelo::readIioAccelerometer(dir.string());
    ASSERT_TRUE(s);
    EXPECT_NEAR((*s)[0], -1.01, 1e-9);
    EXPECT_NEAR((*s)[1], 0.01, 1e-9);
    EXPECT_EQ(brumelo::findIioAccelerometer(dir.parent_path().string()), dir.string());
    // A wrong scale reads thousands of g: not a measurement, and no gravity to give droplets.
    put(dir / "in_accel_scale", "1e300\n");
    EXPECT_FALSE(brumelo::readIioAccelerometer(dir.string()));
    std::filesystem::remove(dir / "in_accel_scale");
    EXPECT_FALSE(brumelo::readIioAccelerometer(dir.string()));
    EXPECT_FALSE(brumelo::readIioAccelerometer("/nonexistent"));
}

TEST(Accelerometer, KeyboardRestsUprightTiltsToFortyFiveDegreesAndShakesHard) {
    brumelo::KeyboardTilt tilt;
    brumelo::KeyboardTilt::Keys none;
    auto s = tilt.update(1.0 / 60, none);
    EXPECT_DOUBLE_EQ(s[0], 0.0);
    EXPECT_DOUBLE_EQ(s[1], -1.0);
    EXPECT_DOUBLE_EQ(s[2], 0.0);
    brumelo::KeyboardTilt::Keys right;
    right.right = true;
    for (int i = 0; i < 60; ++i) s = tilt.update(1.0 / 60, right);
    EXPECT_NEAR(s[0], std::sqrt(0.5), 1e-9);  // held: stops at 45 degrees
    EXPECT_NEAR(s[1], -std::sqrt(0.5), 1e-9);
    for (int i = 0; i < 60; ++i) s = tilt.update(1.0 / 60, none);
    EXPECT_NEAR(s[0], 0.0, 1e-9);
    brumelo::KeyboardTilt::Keys shake;
    shake.shake = true;
    for (int i = 0; i < 30; ++i) {
        s = tilt.update(1.0 / 60, shake);
        EXPECT_GT(std::hypot(s[0], s[1], s[2]), 1.3);
    }
}
