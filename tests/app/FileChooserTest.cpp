#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/FileChooser.h"

namespace {

using Answer = std::optional<std::optional<std::string>>;  // outer: answered at all

// Polls as a frame loop would until the chooser answers.
void pollUntilAnswered(brumelo::FileChooser& chooser, const Answer& answer, double seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!answer && std::chrono::steady_clock::now() < end) {
        chooser.poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

brumelo::FileChooser::Options commands(std::vector<std::vector<std::string>> list) {
    brumelo::FileChooser::Options o;
    o.usePortal = false;
    o.commands = std::move(list);
    return o;
}

}  // namespace

TEST(FileChooser, ChildProcessAnswersWithoutHoldingUpTheFrames) {
    // The dialog answers once the test lets it (or after half a minute): a poll that waited for
    // the dialog would come back with the answer.
    const auto go =
        std::filesystem::temp_directory_path() / ("brumelo-chooser-go-" + std::to_string(getpid()));
    std::filesystem::remove(go);
    Answer answer;
    brumelo::FileChooser chooser(
        [&](const auto& path) { answer = path; },
        commands({{"sh", "-c",
                   "i=0; while [ ! -e \"$0\" ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); "
                   "done; echo '/tmp/a b.png'",
                   go.string()}}));
    chooser.open("Choose background");
    EXPECT_TRUE(chooser.waiting());
    for (int i = 0; i < 3; ++i) chooser.poll();
    EXPECT_FALSE(answer);
    std::ofstream(go.string()) << "go\n";
    pollUntilAnswered(chooser, answer);
    std::filesystem::remove(go);
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, std::optional<std::string>("/tmp/a b.png"));
    EXPECT_FALSE(chooser.waiting());
}

TEST(FileChooser, CancelFallbackAndGivingUp) {
    Answer answer;
    brumelo::FileChooser cancelled([&](const auto& path) { answer = path; },
                                   commands({{"sh", "-c", "exit 1"}, {"sh", "-c", "echo /x"}}));
    cancelled.open("t");
    pollUntilAnswered(cancelled, answer);
    ASSERT_TRUE(answer);
    EXPECT_FALSE(*answer);  // exit 1 is the person's "cancel": no further chooser

    answer.reset();
    testing::internal::CaptureStderr();
    brumelo::FileChooser fallback(
        [&](const auto& path) { answer = path; },
        commands({{"/no/such/chooser"}, {"sh", "-c", "exit 7"}, {"sh", "-c", "echo /picked.jpg"}}));
    fallback.open("t");
    pollUntilAnswered(fallback, answer);
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, std::optional<std::string>("/picked.jpg"));

    answer.reset();
    brumelo::FileChooser none([&](const auto& path) { answer = path; },
                              commands({{"/no/such/chooser"}}));
    none.open("t");
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(answer);
    EXPECT_FALSE(*answer);
}

TEST(FileChooser, ScriptedAnswersAndClosingEarly) {
    Answer answer;
    brumelo::FileChooser::Options headless;
    headless.interactive = false;
    brumelo::FileChooser chooser([&](const auto& path) { answer = path; }, headless);
    chooser.open("t");
    chooser.poll();
    EXPECT_TRUE(chooser.waiting());
    EXPECT_FALSE(answer);
    chooser.answer("/tmp/pick.png");
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, std::optional<std::string>("/tmp/pick.png"));

    // A chooser dropped while its dialog runs ends the dialog and never answers.
    answer.reset();
    const auto t0 = std::chrono::steady_clock::now();
    {
        brumelo::FileChooser running([&](const auto& path) { answer = path; },
                                     commands({{"sleep", "120"}}));
        running.open("t");
        running.poll();
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 60);
    EXPECT_FALSE(answer);
}
