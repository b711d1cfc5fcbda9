#pragma once

// A sound file read as 16-bit frames (the wipe sounds). Portable header; the file format code stays
// in the .cpp.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace brumelo {

class SoundFileReader {
  public:
    // nullptr with the reason in *whyNot when the file cannot be read as mono or stereo sound.
    static std::unique_ptr<SoundFileReader> open(const std::string& path,
                                                 std::string* whyNot = nullptr);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int channels() const { return channels_; }
    int sampleRate() const { return sampleRate_; }
    // Up to `frames` frames from frame `first` on, channels interleaved, into out; the frames
    // read, 0 at or past the end.
    std::size_t read(std::uint64_t first, std::int16_t* out, std::size_t frames);

    struct Impl;

  private:
    SoundFileReader() = default;
    int channels_ = 0;
    int sampleRate_ = 0;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brumelo
