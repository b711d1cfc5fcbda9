#include "audio/SoundEngine.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <cstdio>
#include <list>
#include <map>
#include <memory>
#include <vector>

namespace {

// A loaded sound effect; nothing adds one yet, but teardown handles them uniformly.
struct SoundEngineEffect {
    ALuint source = 0;
    std::vector<std::uint8_t> data;
    ~SoundEngineEffect() {
        if (source) alDeleteSources(1, &source);
    }
};

struct BG_FileInfo {
    std::FILE* file = nullptr;
    ~BG_FileInfo() {
        if (file) std::fclose(file);
    }
};

struct BackgroundTrackMgr {
    float gain = 1.0f;
    std::list<std::unique_ptr<BG_FileInfo>> files;
    std::vector<std::uint8_t> buffers;
};

typedef ALvoid (*MixerOutputRateProc)(const ALdouble value);

// Looked up once: the mixer-rate extension some OpenAL implementations offer.
ALvoid alcMacOSXMixerOutputRateProc(const ALdouble value) {
    static MixerOutputRateProc proc = nullptr;
    static bool looked = false;
    if (!looked) {
        looked = true;
        proc = reinterpret_cast<MixerOutputRateProc>(
            alcGetProcAddress(nullptr, "alcMacOSXMixerOutputRate"));
    }
    if (proc) proc(value);
}

struct OpenALObject {
    float mixerOutputRate;
    float gain = 1.0f;
    ALCcontext* context = nullptr;
    ALCdevice* device = nullptr;
    std::multimap<std::uint32_t, std::unique_ptr<SoundEngineEffect>> effects;

    explicit OpenALObject(float rate) : mixerOutputRate(rate) {}

    ~OpenALObject() {
        while (!effects.empty()) effects.erase(effects.begin());
        if (context) {
            if (alcGetCurrentContext() == context) alcMakeContextCurrent(nullptr);
            alcDestroyContext(context);
        }
        if (device) alcCloseDevice(device);
    }

    std::int32_t initialize() {
        // Errors of device and context calls are ALC errors; alGetError would answer for a
        // context that does not exist yet.
        device = alcOpenDevice(nullptr);
        ALCenum error = alcGetError(device);
        if (!device && error == ALC_NO_ERROR) error = ALC_INVALID_DEVICE;
        if (error != ALC_NO_ERROR) {
            std::printf("%s: %x\n", "Error opening output device", static_cast<unsigned>(error));
            return static_cast<std::int32_t>(error);
        }
        if (!device) return 5;
        if (mixerOutputRate != 0) alcMacOSXMixerOutputRateProc(mixerOutputRate);
        context = alcCreateContext(device, nullptr);
        error = alcGetError(device);
        if (!context && error == ALC_NO_ERROR) error = ALC_INVALID_CONTEXT;
        if (error != ALC_NO_ERROR) {
            std::printf("%s: %x\n", "Error creating OpenAL context", static_cast<unsigned>(error));
            return static_cast<std::int32_t>(error);
        }
        alcMakeContextCurrent(context);
        error = alcGetError(device);
        if (error != ALC_NO_ERROR) {
            std::printf("%s: %x\n", "Error setting current OpenAL context",
                        static_cast<unsigned>(error));
            return static_cast<std::int32_t>(error);
        }
        return 0;
    }
};

std::unique_ptr<OpenALObject> sOpenALObject;
std::unique_ptr<BackgroundTrackMgr> sBackgroundTrackMgr;

}  // namespace

std::int32_t SoundEngine_Initialize(float rate) {
    sOpenALObject.reset();
    sBackgroundTrackMgr.reset();
    sOpenALObject = std::make_unique<OpenALObject>(rate);
    sBackgroundTrackMgr = std::make_unique<BackgroundTrackMgr>();
    std::int32_t status = sOpenALObject->initialize();
    std::fflush(stdout);
    return status;
}

std::int32_t SoundEngine_SetListenerPosition(float x, float y, float z) {
    if (!sOpenALObject) return 1;
    alListener3f(AL_POSITION, x, y, z);
    return static_cast<std::int32_t>(alGetError());
}

std::int32_t SoundEngine_Teardown() {
    sOpenALObject.reset();
    sBackgroundTrackMgr.reset();
    return 0;
}

bool SoundEngine_IsInitialized() {
    return sOpenALObject && sOpenALObject->context &&
           alcGetCurrentContext() == sOpenALObject->context;
}
