#include <AL/al.h>
#include <AL/alc.h>
#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "audio/GBMusicTrack.h"
#include "audio/SoundEngine.h"
#include "platform/MainThreadQueue.h"

using namespace audiotest;

namespace {

// Drains the main queue until the track has posted `count` end notices.
bool waitForEnd(GBMusicTrack& track, int count) {
    return waitFor(
        [&] {
            brumelo::MainThreadQueue::main().drain();
            return track.finishedNotifications() >= count;
        },
        3.0);
}

}  // namespace

TEST(SoundEngine, ListenerBeforeInitialisationAndRestart) {
    SoundEngine_Teardown();
    EXPECT_EQ(SoundEngine_SetListenerPosition(0, 0, 1), 1);
    EXPECT_EQ(alcGetCurrentContext(), nullptr);

    // The mixer-rate extension is missing here; a rate of 0 or 44100 must both come up.
    ASSERT_EQ(SoundEngine_Initialize(0.f), 0);
    ASSERT_EQ(SoundEngine_Initialize(44100.f), 0);
    EXPECT_TRUE(SoundEngine_IsInitialized());
    ALCcontext* context = alcGetCurrentContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(SoundEngine_SetListenerPosition(0, 0, 1), 0);
    ALfloat pos[3] = {};
    alGetListenerfv(AL_POSITION, pos);
    EXPECT_FLOAT_EQ(pos[2], 1.f);
    SoundEngine_Teardown();
    EXPECT_EQ(alcGetCurrentContext(), nullptr);
    EXPECT_EQ(SoundEngine_SetListenerPosition(0, 0, 1), 1);
}

TEST(GBMusicTrack, MissingFileGivesNoTrack) {
    testing::internal::CaptureStderr();
    auto track = GBMusicTrack::initWithPath((scratchDir() / "nothing.caf").string());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(track, nullptr);
    EXPECT_NE(log.find("GBMusicTrack Error - initWithPath: could not open audio file. Path given "
                       "was: "),
              std::string::npos);
    EXPECT_EQ(GBMusicTrack::initWithPath(""), nullptr);
}

// One device session: a short track played twice, first at full gain then at 0.2, then a long
// one stopped by pause; the wave file shows each burst.
TEST(GBMusicTrack, ShortTrackRewindsPausesAndPlaysAgainAtGain) {
    ASSERT_EQ(SoundEngine_Initialize(44100.f), 0);
    const auto path = scratchDir() / "short.caf";
    const auto tone = square(44100, 0.15, 0.5, 441);  // 13230 frames: well under one buffer
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100, tone);
    {
        auto track = GBMusicTrack::initWithPath(path.string());
        ASSERT_NE(track, nullptr);
        track->setRepeat(false);
        EXPECT_EQ(track->numPacketsToRead(), 32768u);
        EXPECT_EQ(track->packetIndex(), tone.size());  // only the first buffer was filled
        track->play();
        ASSERT_TRUE(waitForEnd(*track, 1));
        EXPECT_FALSE(track->isPlaying());
        EXPECT_EQ(track->packetIndex(), tone.size());  // rewound and the start queued again
        ALint queued = 0;
        alGetSourcei(track->source(), AL_BUFFERS_QUEUED, &queued);
        EXPECT_EQ(queued, 1);

        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // a gap between the plays
        track->setGain(0.2f);
        track->play();
        ASSERT_TRUE(waitForEnd(*track, 2));
        track->close();
        track->close();  // harmless
        EXPECT_EQ(track->source(), 0u);
        track->play();  // after close: nothing
    }
    SoundEngine_Teardown();  // closes the wave file

    const Sound out = readSound(waveOutput());
    ASSERT_EQ(out.rate, 44100);
    const auto found = bursts(out, 0.01f, 2000);
    ASSERT_EQ(found.size(), 2u);
    float peak[2] = {0, 0};
    for (int b = 0; b < 2; ++b) {
        const auto [start, end] = found[b];
        // Each play gives the whole sound, from its start.
        EXPECT_NEAR(static_cast<double>(end - start), static_cast<double>(tone.size()), 1500);
        for (std::size_t f = start; f < end; ++f)
            peak[b] = std::max(peak[b], std::fabs(out.samples[f * out.channels]));
    }
    EXPECT_NEAR(peak[1] / peak[0], 0.2f, 0.02f);
}

// A non-repeating sound longer than the three buffers plays to its very end before rewinding,
// refilled by its feeder thread, and again where there are no threads and the frame loop feeds
// it (the browser).
TEST(GBMusicTrack, LongTrackPlaysItsTailBeforeRewinding) {
    ASSERT_EQ(SoundEngine_Initialize(44100.f), 0);
    const auto path = scratchDir() / "long.caf";
    // 4 buffers' worth at 88200 Hz, so each play takes about a second and a half.
    const auto tone = square(88200, 1.6, 0.5, 441);
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 88200, tone);
    for (bool threads : {true, false}) {
        GBMusicTrack::setFeederThreads(threads);
        auto track = GBMusicTrack::initWithPath(path.string());
        GBMusicTrack::setFeederThreads(true);
        ASSERT_NE(track, nullptr);
        track->play();
        ASSERT_TRUE(waitFor(
            [&] {
                track->feed();  // does nothing while a feeder thread runs
                brumelo::MainThreadQueue::main().drain();
                return track->finishedNotifications() >= 1;
            },
            3.0));
        EXPECT_FALSE(track->isPlaying());
        EXPECT_EQ(track->packetIndex(), 3u * 32768u);  // the start refilled all three buffers
        track->close();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // a gap between the plays
    }
    SoundEngine_Teardown();
    const Sound out = readSound(waveOutput());
    const auto found = bursts(out, 0.01f, 2000);
    ASSERT_EQ(found.size(), 2u);
    for (const auto& [start, end] : found)
        EXPECT_NEAR(static_cast<double>(end - start), 1.6 * 44100, 1500);
}

// The wipe strokes call play while a sound runs and pause when the finger rests: play must not
// restart a running sound, and pause then play must go on where it stopped.
TEST(GBMusicTrack, PauseResumesAndPlayWhilePlayingDoesNotRestart) {
    ASSERT_EQ(SoundEngine_Initialize(44100.f), 0);
    const auto path = scratchDir() / "resume.caf";
    const auto tone = square(44100, 0.5, 0.5, 441);
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100, tone);
    {
        auto track = GBMusicTrack::initWithPath(path.string());
        ASSERT_NE(track, nullptr);
        track->play();
        for (int i = 0; i < 10; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            track->play();
        }
        track->pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        track->play();
        ASSERT_TRUE(waitForEnd(*track, 1));
    }
    SoundEngine_Teardown();
    const Sound out = readSound(waveOutput());
    const auto found = bursts(out, 0.01f, 2000);
    ASSERT_EQ(found.size(), 2u);
    const std::size_t heard =
        (found[0].second - found[0].first) + (found[1].second - found[1].first);
    EXPECT_NEAR(static_cast<double>(heard), static_cast<double>(tone.size()), 1500);
}

TEST(GBMusicTrack, RepeatingTrackKeepsPlaying) {
    ASSERT_EQ(SoundEngine_Initialize(44100.f), 0);
    const auto path = scratchDir() / "loop.caf";
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100, square(44100, 0.05, 0.5, 441));
    auto track = GBMusicTrack::initWithPath(path.string());
    ASSERT_NE(track, nullptr);
    track->setRepeat(true);
    track->play();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    brumelo::MainThreadQueue::main().drain();
    EXPECT_TRUE(track->isPlaying());
    EXPECT_EQ(track->finishedNotifications(), 0);
    track->stop();
    EXPECT_FALSE(track->isPlaying());
    track.reset();  // closes on destruction, joining the feeder
    SoundEngine_Teardown();
    const Sound out = readSound(waveOutput());
    const auto found = bursts(out, 0.01f, 2000);
    ASSERT_FALSE(found.empty());
    EXPECT_GT(found[0].second - found[0].first, 44100u * 25 / 100);
}

TEST(MainThreadQueue, RunsPostedWorkInOrderOnDrain) {
    brumelo::MainThreadQueue queue;
    std::vector<int> ran;
    std::thread other([&] {
        for (int i = 0; i < 100; ++i) queue.post([&ran, i] { ran.push_back(i); });
    });
    other.join();
    queue.post([&] { queue.post([&] { ran.push_back(-1); }); });
    EXPECT_EQ(queue.drain(), 101u);
    ASSERT_EQ(ran.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(ran[i], i);
    EXPECT_EQ(queue.pending(), 1u);  // posted while draining: waits for the next frame
    EXPECT_EQ(queue.drain(), 1u);
    EXPECT_EQ(ran.back(), -1);
}
