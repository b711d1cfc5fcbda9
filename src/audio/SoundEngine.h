#pragma once

#include <cstdint>

// The OpenAL output: device, context and listener. C-style, one per process, main thread only.

// Opens the default output device and makes a context current; a second call tears the first
// down and starts again. rate: mixer output rate in Hz, 0 for the device's own. 0 on success,
// otherwise the OpenAL error code (also printed as "<message>: <code in hex>").
std::int32_t SoundEngine_Initialize(float rate);

// 1 before initialisation, otherwise the OpenAL error after setting the listener's position.
std::int32_t SoundEngine_SetListenerPosition(float x, float y, float z);

// Closes the context and the device (at exit, after every track is closed). 0 when there was
// nothing to tear down or it went well.
std::int32_t SoundEngine_Teardown();

// True while a context made by SoundEngine_Initialize is current.
bool SoundEngine_IsInitialized();
