#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace brumelo {

// A microphone: delivers mono signed 16-bit samples at its own rate to a sink.
class AudioCapture {
  public:
    // Receives each chunk of captured samples; may run on a capture thread.
    using Sink = std::function<void(const std::int16_t* samples, std::size_t count)>;

    virtual ~AudioCapture() = default;

    // Samples per second delivered.
    virtual double sampleRate() const = 0;
    // Starts delivering to the sink; false when capture cannot start.
    virtual bool start(Sink sink) = 0;
    // Stops delivering; no call of the sink is running or follows once this returns.
    virtual void stop() = 0;
    // A file-fed microphone delivers the next `seconds` of its audio here, on the calling thread
    // (silence after the end of the file). A real device ignores it.
    virtual void pump(double seconds) { (void)seconds; }

    // The default capture device, mono 16-bit at its own rate; nullptr with a reason when there
    // is none.
    static std::unique_ptr<AudioCapture> openDevice(std::string* whyNot = nullptr);
    // A sound file (any format libsndfile reads) as the microphone, fed by pump(); channels are
    // mixed down to mono. nullptr with a reason when the file cannot be read.
    static std::unique_ptr<AudioCapture> openFile(const std::string& path,
                                                  std::string* whyNot = nullptr);
};

}  // namespace brumelo
