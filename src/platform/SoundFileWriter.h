#pragma once

// The microphone's recording: a CAF file of 16-bit mono linear PCM. Portable header; the file
// format code stays in the .cpp.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace brumelo {

class SoundFileWriter {
  public:
    // Creates the file, emptying one that is there; nullptr with the reason in *whyNot.
    static std::unique_ptr<SoundFileWriter> createCAF(const std::string& path, double sampleRate,
                                                      std::string* whyNot = nullptr);
    // Closes the file, leaving it complete.
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // Appends mono samples; the samples written. The header is kept current, so the file is
    // complete whenever it is read.
    std::size_t append(const std::int16_t* samples, std::size_t count);

    struct Impl;

  private:
    SoundFileWriter() = default;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brumelo
