#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "AudioTestSupport.h"
#include "audio/AudioRecorder.h"

using namespace audiotest;

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// A private PulseAudio server whose default source hears what is played into a null sink.
class PulseServer {
  public:
    explicit PulseServer(const std::filesystem::path& dir) : dir_(dir) {
        std::filesystem::create_directories(dir / "run");
        std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
        std::ofstream(dir / "mic.pa") << "load-module module-null-sink sink_name=mic_sink\n"
                                      << "set-default-source mic_sink.monitor\n"
                                      << "load-module module-native-protocol-unix\n";
        env_.set("XDG_RUNTIME_DIR", (dir / "run").string());
        env_.set("PULSE_RUNTIME_PATH", (dir / "run").string());
        env_.set("PULSE_SERVER", "unix:" + (dir / "run" / "native").string());
        env_.set("HOME", dir.string());
        const std::string pid = run(
            "command -v pulseaudio >/dev/null && { pulseaudio -n "
            "--daemonize=no --exit-idle-time=-1 --use-pid-file=no "
            "--disable-shm=yes -F '" +
            (dir / "mic.pa").string() + "' >'" + (dir / "pa.log").string() + "' 2>&1 & echo $!; }");
        pid_ = std::atoi(pid.c_str());
        if (pid_ > 0)
            ready_ = waitFor(
                [] { return run("pactl info 2>/dev/null").find("mic_sink") != std::string::npos; },
                60.0);
    }
    ~PulseServer() {
        if (pid_ > 0) run("kill " + std::to_string(pid_) + " 2>/dev/null");
    }
    bool ready() const { return ready_; }
    std::string log() const {
        std::ifstream in(dir_ / "pa.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::filesystem::path dir_;
    EnvGuard env_;
    int pid_ = 0;
    bool ready_ = false;
};

}  // namespace

// The whole road of a real microphone: PulseAudio, SDL's capture, the recorder and its meter.
TEST(PulseMicrophone, PlayedSoundDrivesTheLevelAndTheRecording) {
    PulseServer pulse(scratchDir() / "pulse");
    if (!pulse.ready()) GTEST_SKIP() << "PulseAudio could not start here: " << pulse.log();
    EnvGuard env;
    env.set("SDL_AUDIODRIVER", "pulseaudio");

    const auto loud = scratchDir() / "pulse-loud.wav";
    writeSound(loud, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, square(44100, 1.0, 0.9, 200));
    const auto out = scratchDir() / "pulse.caf";
    auto recorder = AudioRecorder::initWithURL(out.string());
    ASSERT_NE(recorder, nullptr);
    ASSERT_NE(recorder->queueObject(), nullptr);
    recorder->record();
    float level = 0, peak = 0;
    recorder->getAudioLevels(&level, &peak);
    EXPECT_LT(level, 0.1f);
    // Detached from our pipe, or popen would wait for the whole sound.
    run("paplay -d mic_sink '" + loud.string() + "' >/dev/null 2>&1 &");
    EXPECT_TRUE(waitFor(
        [&] {
            recorder->getAudioLevels(&level, &peak);
            return level > 0.7f;
        },
        60.0))
        << "level " << level;
    const double rate = recorder->hardwareSampleRate();
    recorder.reset();
    const Sound rec = readSound(out);
    EXPECT_EQ(rec.channels, 1);
    EXPECT_EQ(rec.rate, static_cast<int>(rate));
    float recorded = 0;
    for (float s : rec.samples) recorded = std::max(recorded, std::fabs(s));
    EXPECT_GT(recorded, 0.8f);
}

// The test driver's microphone hears nothing; the recorder runs, stays at 0 and ends cleanly.
TEST(PulseMicrophone, SilentTestDriverKeepsLevelsAtZero) {
    EnvGuard env;
    env.set("SDL_AUDIODRIVER", "dummy");
    auto recorder = AudioRecorder::initWithURL((scratchDir() / "dummy.caf").string());
    ASSERT_NE(recorder, nullptr);
    recorder->record();
    // Judged once a whole buffer of the driver's silence has reached the file.
    ASSERT_TRUE(waitFor([&] { return recorder->startingPacketNumber() > 0; }, 60.0));
    float level = -1, peak = -1;
    recorder->getAudioLevels(&level, &peak);
    EXPECT_EQ(level, 0.f);
    EXPECT_EQ(peak, 0.f);
}
