#include <AL/al.h>
#include <AL/alc.h>
#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "LoopbackOutput.h"
#include "audio/GBMusicTrack.h"
#include "audio/SoundEngine.h"
#include "platform/MainThreadQueue.h"

using namespace audiotest;

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

// A short track played twice, first at full gain then, after a gap, at 0.2.
TEST(GBMusicTrack, ShortTrackRewindsPausesAndPlaysAgainAtGain) {
    LoopbackOutput out;
    ASSERT_TRUE(out.ok());
    const auto path = scratchDir() / "short.caf";
    const auto tone = square(44100, 0.15, 0.5, 441);  // 6615 frames: well under one buffer
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100, tone);
    auto track = GBMusicTrack::initWithPath(path.string());
    ASSERT_NE(track, nullptr);
    track->setRepeat(false);
    EXPECT_EQ(track->numPacketsToRead(), 32768u);
    EXPECT_EQ(track->packetIndex(), tone.size());  // only the first buffer was filled
    track->play();
    ASSERT_TRUE(out.render(1, {track}, [&] { return track->finishedNotifications() == 1; }));
    EXPECT_FALSE(track->isPlaying());
    EXPECT_EQ(track->packetIndex(), tone.size());  // rewound and the start queued again
    ALint queued = 0;
    alGetSourcei(track->source(), AL_BUFFERS_QUEUED, &queued);
    EXPECT_EQ(queued, 1);

    out.render(0.1, {track});  // a gap between the plays: the ended track stays as it was
    EXPECT_EQ(track->finishedNotifications(), 1);
    EXPECT_EQ(track->packetIndex(), tone.size());
    track->setGain(0.2f);
    track->play();
    ASSERT_TRUE(out.render(1, {track}, [&] { return track->finishedNotifications() == 2; }));
    track->close();
    track->close();  // harmless
    EXPECT_EQ(track->source(), 0u);
    track->play();  // after close: nothing

    const Sound& sound = out.sound();
    const auto found = bursts(sound, 0.01f, 2000);
    ASSERT_EQ(found.size(), 2u);
    float peak[2] = {0, 0};
    for (int b = 0; b < 2; ++b) {
        const auto [start, end] = found[b];
        // Each play gives the whole sound, from its start.
        EXPECT_NEAR(static_cast<double>(end - start), static_cast<double>(tone.size()), 8);
        for (std::size_t f = start; f < end; ++f)
            peak[b] = std::max(peak[b], std::fabs(sound.samples[f * sound.channels]));
    }
    EXPECT_NEAR(peak[1] / peak[0], 0.2f, 0.001f);
}

// A non-repeating sound longer than the three buffers plays to its very end before rewinding.
TEST(GBMusicTrack, LongTrackPlaysItsTailBeforeRewinding) {
    LoopbackOutput out;
    ASSERT_TRUE(out.ok());
    const auto path = scratchDir() / "long.caf";
    // 4 buffers' worth at 88200 Hz.
    const auto tone = square(88200, 1.6, 0.5, 441);
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 88200, tone);
    auto track = GBMusicTrack::initWithPath(path.string());
    ASSERT_NE(track, nullptr);
    track->play();
    ASSERT_TRUE(out.render(3, {track}, [&] { return track->finishedNotifications() == 1; }));
    EXPECT_FALSE(track->isPlaying());
    EXPECT_EQ(track->packetIndex(), 3u * 32768u);  // the start refilled all three buffers
    const auto found = bursts(out.sound(), 0.01f, 2000);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(static_cast<double>(found[0].second - found[0].first), 1.6 * 44100, 8);
}

// The wipe strokes call play while a sound runs and pause when the finger rests: play must not
// restart a running sound, and pause then play must go on where it stopped.
TEST(GBMusicTrack, PauseResumesAndPlayWhilePlayingDoesNotRestart) {
    LoopbackOutput out;
    ASSERT_TRUE(out.ok());
    const auto path = scratchDir() / "resume.caf";
    const auto tone = square(44100, 0.5, 0.5, 441);
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100, tone);
    auto track = GBMusicTrack::initWithPath(path.string());
    ASSERT_NE(track, nullptr);
    track->play();
    for (int i = 0; i < 10; ++i) {
        out.render(0.02, {track});
        track->play();
    }
    track->pause();
    out.render(0.2, {track});
    track->play();
    ASSERT_TRUE(out.render(1, {track}, [&] { return track->finishedNotifications() == 1; }));
    const auto found = bursts(out.sound(), 0.01f, 2000);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NEAR(static_cast<double>(found[0].second - found[0].first), 0.2 * 44100, 8);
    const std::size_t heard =
        (found[0].second - found[0].first) + (found[1].second - found[1].first);
    EXPECT_NEAR(static_cast<double>(heard), static_cast<double>(tone.size()), 8);
}

// A repeating sound far shorter than a buffer sounds until stopped. Such a sound uses one
// buffer, which runs dry until the next refill: the gaps last at most a frame.
TEST(GBMusicTrack, RepeatingTrackKeepsPlaying) {
    LoopbackOutput out;
    ASSERT_TRUE(out.ok());
    const auto path = scratchDir() / "loop.caf";
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100, square(44100, 0.05, 0.5, 441));
    auto track = GBMusicTrack::initWithPath(path.string());
    ASSERT_NE(track, nullptr);
    track->setRepeat(true);
    track->play();
    out.render(0.5, {track});
    EXPECT_TRUE(track->isPlaying());
    EXPECT_EQ(track->finishedNotifications(), 0);
    track->stop();
    EXPECT_FALSE(track->isPlaying());
    out.render(0.1, {track});
    const auto found = bursts(out.sound(), 0.01f, 44100 / 50 + 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_LT(found[0].first, 8u);
    EXPECT_NEAR(static_cast<double>(found[0].second), 0.5 * 44100, 8);  // then silence
}

// The feeder thread in real time, on a machine that may be busy: whatever the load, it refills
// the buffers, plays to the end, rewinds and tells the main loop.
TEST(GBMusicTrack, FeederThreadPlaysToTheEndAndNotifies) {
    ASSERT_EQ(SoundEngine_Initialize(44100.f), 0);
    const auto path = scratchDir() / "fed.caf";
    // A little over 4 buffers, which at 176400 Hz play in about 0.8 s.
    writeSound(path, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 176400, square(176400, 0.8, 0.5, 441));
    auto track = GBMusicTrack::initWithPath(path.string());
    ASSERT_NE(track, nullptr);
    track->play();
    EXPECT_TRUE(waitFor(
        [&] {
            brumelo::MainThreadQueue::main().drain();
            return track->finishedNotifications() == 1;
        },
        60));
    EXPECT_FALSE(track->isPlaying());
    EXPECT_EQ(track->packetIndex(), 3u * 32768u);
    track.reset();  // closes on destruction, joining the feeder
    SoundEngine_Teardown();
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
