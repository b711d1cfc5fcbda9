#include "audio/AudioStartup.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "audio/AudioRecorder.h"
#include "audio/GBMusicTrack.h"
#include "audio/SoundEngine.h"
#include "render/Globals.h"

namespace brumelo {

void startAudio(const std::string& resourceDir, const std::string& dataDir,
                const std::string& micFile, bool headless) {
    // The tracks play through the output context, so it comes first.
    if (SoundEngine_Initialize(44100.f) != 0)
        std::fprintf(stderr, "No sound output device: running silent\n");
    SoundEngine_SetListenerPosition(0.f, 0.f, 1.f);

    auto load = [&](const char* name) {
        return GBMusicTrack::initWithPath((std::filesystem::path(resourceDir) / name).string());
    };
    music2 = load("sound2.caf");
    music3 = load("sound3.caf");
    music4 = load("sound4.caf");
    music5 = load("sound5.caf");
    for (auto* track : {&music2, &music3, &music4, &music5})
        if (*track) (*track)->setRepeat(false);

    for (int i = 0; i < 4; ++i) audioLevels[i] = peakLevels[i] = 0.f;

    if (dataDir.empty()) return;  // nowhere to record: no microphone at all
    std::error_code ec;
    std::filesystem::create_directories(dataDir, ec);
    const std::string path = (std::filesystem::path(dataDir) / "Recording.caf").string();

    if (!micFile.empty()) {
        std::string whyNot;
        auto capture = AudioCapture::openFile(micFile, &whyNot);
        if (!capture)
            std::fprintf(stderr, "Cannot read the microphone file %s (%s): no microphone\n",
                         micFile.c_str(), whyNot.c_str());
        audioRecorder = AudioRecorder::initWithURL(path, std::move(capture));
    } else if (headless) {
        std::fprintf(stderr, "Headless run without --mic-file: no microphone\n");
        audioRecorder = AudioRecorder::initWithURL(path, nullptr);
    } else {
        audioRecorder = AudioRecorder::initWithURL(path);
    }
    if (audioRecorder) audioRecorder->record();
}

void pumpAudio(double seconds) {
    if (audioRecorder) audioRecorder->feedFromFile(seconds);
    for (auto* track : {&music2, &music3, &music4, &music5})
        if (*track) (*track)->feed();
}

void stopAudio() {
    audioRecorder.reset();
    // Closed but kept: wipe tracks still refer to them by plain pointer, and a closed track
    // ignores play and pause.
    for (auto* track : {&music2, &music3, &music4, &music5})
        if (*track) (*track)->close();
    SoundEngine_Teardown();
}

}  // namespace brumelo
