#pragma once

#include <string>

namespace brumelo {

// The launch's sound steps, in the order an OpenAL output needs: the output context at 44100 Hz
// with the listener at (0, 0, 1), the four wipe sounds "sound2.caf" … "sound5.caf" from
// resourceDir into music2 … music5 (repeat off), the level blocks zeroed, and the recorder on
// "<dataDir>/Recording.caf" started. The microphone is micFile when given (fed by pumpAudio),
// none in a headless run without one (so runs repeat exactly), otherwise the default capture
// device. A missing output or microphone is said in one line and the program runs on silent.
void startAudio(const std::string& resourceDir, const std::string& dataDir,
                const std::string& micFile, bool headless);

// Once a frame, before the levels are read: a file-fed microphone delivers `seconds` of audio
// (0.02 in a headless run, the frame's real duration in a window), and tracks without a feeder
// thread refill their buffers.
void pumpAudio(double seconds);

// At exit: finishes the recording file (audioRecorder becomes empty), closes the tracks (they
// stay in music2 … music5, closed, so plain references to them stay valid) and the output.
// Safe to call twice.
void stopAudio();

}  // namespace brumelo
