// The desktop camera's hand-over of frames between threads (the ThreadSanitizer build runs it).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Camera.h"

TEST(CameraHandOver, TheFrameLoopTakesTheNewestFramesAsTheyCome) {
    brumelo::Camera::Options options;
    options.pipeline =
        "videotestsrc is-live=true pattern=ball ! video/x-raw,width=160,height=120,framerate=60/1";
    std::string why;
    auto camera = brumelo::Camera::open(options, &why);
    ASSERT_TRUE(camera) << why;
    brumelo::Camera::Frame frame;
    int taken = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (taken < 10 && std::chrono::steady_clock::now() < deadline) {
        if (camera->takeFrame(frame)) {
            ++taken;
            ASSERT_EQ(frame.width, 160);
            ASSERT_EQ(frame.height, 120);
            ASSERT_NE(frame.rgba, nullptr);
            ASSERT_GE(frame.stride, 160u * 4u);
            // Read in place while newer frames arrive: the frame holds its buffer meanwhile.
            unsigned sum = 0;
            for (int y = 0; y < 120; ++y)
                for (std::size_t x = 0; x < 160u * 4u; ++x) sum += frame.rgba[y * frame.stride + x];
            EXPECT_GT(sum, 0u);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    EXPECT_EQ(taken, 10);
    EXPECT_EQ(camera->failure(), "");
}
