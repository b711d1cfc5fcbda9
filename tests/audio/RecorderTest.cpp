#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "AllocationCounter.h"
#include "AudioTestSupport.h"
#include "audio/AudioRecorder.h"
#include "audio/AudioStartup.h"
#include "audio/GBMusicTrack.h"
#include "render/Globals.h"

using namespace audiotest;

namespace {

std::shared_ptr<AudioRecorder> fileRecorder(const std::filesystem::path& mic,
                                            const std::filesystem::path& out) {
    auto capture = brumelo::AudioCapture::openFile(mic.string());
    EXPECT_NE(capture, nullptr);
    return AudioRecorder::initWithURL(out.string(), std::move(capture));
}

}  // namespace

TEST(AudioRecorder, LoudFileBlowsSilentFileDoesNot) {
    const auto loud = scratchDir() / "loud.wav";
    const auto quiet = scratchDir() / "quiet.wav";
    writeSound(loud, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, square(16000, 0.5, 0.9, 200));
    writeSound(quiet, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, std::vector<short>(8000, 0));

    float levels[4] = {-1, -1, -1, -1};
    float peaks[4] = {-1, -1, -1, -1};
    {
        auto recorder = fileRecorder(loud, scratchDir() / "rec-loud.caf");
        recorder->record();
        EXPECT_TRUE(recorder->isRunning());
        recorder->feedFromFile(0.02);
        recorder->getAudioLevels(levels, peaks);
        EXPECT_GT(levels[0], 0.7f);
        EXPECT_NEAR(peaks[0], 0.9f, 0.01f);
        EXPECT_EQ(levels[1], -1.f);  // only element 0 is written
        EXPECT_EQ(peaks[1], -1.f);
        // Read once a frame: it must not allocate.
        const long before = allocations.load();
        ASSERT_GT(before, 0) << "the allocation counter is not in effect";
        for (int i = 0; i < 100; ++i) recorder->getAudioLevels(levels, peaks);
        EXPECT_EQ(allocations.load(), before);
        // After the end of the file the microphone hears silence.
        for (int i = 0; i < 30; ++i) recorder->feedFromFile(0.02);
        recorder->getAudioLevels(levels, peaks);
        EXPECT_EQ(levels[0], 0.f);
    }
    {
        auto recorder = fileRecorder(quiet, scratchDir() / "rec-quiet.caf");
        recorder->record();
        for (int i = 0; i < 10; ++i) {
            recorder->feedFromFile(0.02);
            recorder->getAudioLevels(levels, peaks);
            EXPECT_EQ(levels[0], 0.f);
            EXPECT_EQ(peaks[0], 0.f);
        }
    }
}

TEST(AudioRecorder, RecordingHoldsTheAudioFedIn) {
    const auto mic = scratchDir() / "ramp.wav";
    const auto out = scratchDir() / "Recording.caf";
    // Stereo in, mixed down to mono; long enough to cycle the three buffers more than once.
    const int rate = 22050;
    const std::size_t frames = 120000;
    std::vector<short> stereo(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        stereo[2 * i] = static_cast<short>((i * 7) % 20000 - 10000);
        stereo[2 * i + 1] = stereo[2 * i];
    }
    writeSound(mic, SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, stereo, 2);
    std::ofstream(out) << "an earlier launch's recording";

    {
        auto recorder = fileRecorder(mic, out);
        EXPECT_EQ(recorder->hardwareSampleRate(), rate);
        EXPECT_EQ(recorder->audioFormat().mFormatID, kAudioFormatLinearPCM);
        EXPECT_EQ(recorder->audioFormat().mFormatFlags, 12u);
        EXPECT_EQ(recorder->audioFormat().mBytesPerPacket, 2u);
        EXPECT_EQ(recorder->audioFormat().mChannelsPerFrame, 1u);
        recorder->record();
        // Emptied at once, before any audio arrives.
        const Sound fresh = readSound(out);
        EXPECT_EQ(fresh.samples.size(), 0u);
        double fed = 0;
        while (fed < 6.0) {
            recorder->feedFromFile(0.02);
            fed += 0.02;
        }
        // Three full buffers reached the file while running.
        EXPECT_GE(recorder->startingPacketNumber(), 3 * 32768);
    }  // the partly filled buffer is written as the recorder goes

    const Sound rec = readSound(out);
    EXPECT_EQ(rec.channels, 1);
    EXPECT_EQ(rec.rate, rate);
    EXPECT_EQ(rec.format, SF_FORMAT_CAF | SF_FORMAT_PCM_16);
    // The whole file, then the silence that followed it.
    ASSERT_GE(rec.samples.size(), frames);
    for (std::size_t i = 0; i < frames; i += 997)
        ASSERT_NEAR(rec.samples[i] * 32768.f, static_cast<float>(stereo[2 * i]), 1.f) << i;
    EXPECT_EQ(rec.samples[frames + 10], 0.f);
}

TEST(AudioRecorder, NoMicrophoneStaysAtZero) {
    testing::internal::CaptureStderr();
    auto recorder = AudioRecorder::initWithURL((scratchDir() / "none.caf").string(), nullptr);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("initializing a recorder object."), std::string::npos);
    EXPECT_NE(log.find("Attempted to create new recording audio queue object. Result: -1.0"),
              std::string::npos);
    ASSERT_NE(recorder, nullptr);
    recorder->record();
    recorder->feedFromFile(0.02);
    float level = 0.5f, peak = 0.5f;
    recorder->getAudioLevels(&level, &peak);
    EXPECT_EQ(level, 0.f);
    EXPECT_FALSE(recorder->isRunning());
}

// SDL's disk driver plays a raw file into the real capture path.
TEST(AudioRecorder, CaptureDeviceThroughSdlDiskDriver) {
    const auto raw = scratchDir() / "mic.raw";
    const auto loud = square(44100, 2.0, 0.9, 200);
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(loud.data()),
               static_cast<std::streamsize>(loud.size() * sizeof(short)));
    EnvGuard env;
    env.set("SDL_AUDIODRIVER", "disk");
    env.set("SDL_DISKAUDIOFILEIN", raw.string());
    env.set("SDL_DISKAUDIOFILE", (scratchDir() / "sdl-out.raw").string());

    auto recorder = AudioRecorder::initWithURL((scratchDir() / "disk.caf").string());
    ASSERT_NE(recorder, nullptr);
    ASSERT_NE(recorder->queueObject(), nullptr);
    EXPECT_GT(recorder->hardwareSampleRate(), 0);
    recorder->record();
    float level = 0, peak = 0;
    EXPECT_TRUE(waitFor(
        [&] {
            recorder->getAudioLevels(&level, &peak);
            return level > 0.7f;
        },
        60.0));
    recorder.reset();
    const Sound rec = readSound(scratchDir() / "disk.caf");
    EXPECT_EQ(rec.channels, 1);
    EXPECT_GT(rec.samples.size(), 1000u);
}

TEST(AudioStartup, HeadlessRunWithMicFileAndResources) {
    const auto mic = scratchDir() / "startup-mic.wav";
    writeSound(mic, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, square(16000, 0.5, 0.9, 200));
    const auto data = scratchDir() / "data";
    brumelo::startAudio(BRUMELO_SOURCE_DIR "/resources", data.string(), mic.string(), true);
    EXPECT_NE(music2, nullptr);
    EXPECT_NE(music5, nullptr);
    if (music2) {
        EXPECT_FALSE(music2->repeat());
    }
    ASSERT_NE(audioRecorder, nullptr);
    brumelo::pumpAudio(0.02);
    audioRecorder->getAudioLevels(audioLevels, peakLevels);
    EXPECT_GT(audioLevels[0], 0.7f);
    brumelo::stopAudio();
    brumelo::stopAudio();
    ASSERT_NE(music2, nullptr);
    EXPECT_TRUE(music2->trackClosed());
    music2->play();  // a stroke still holding it does no harm
    EXPECT_EQ(audioRecorder, nullptr);
    EXPECT_TRUE(std::filesystem::exists(data / "Recording.caf"));
    for (auto* m : {&music2, &music3, &music4, &music5}) m->reset();
}
