#include "platform/SoundFileWriter.h"

#include <sndfile.h>

namespace brumelo {

struct SoundFileWriter::Impl {
    SNDFILE* sf = nullptr;
    ~Impl() {
        if (sf) sf_close(sf);
    }
};

std::unique_ptr<SoundFileWriter> SoundFileWriter::createCAF(const std::string& path,
                                                            double sampleRate,
                                                            std::string* whyNot) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_CAF | SF_FORMAT_PCM_16;
    // Opening for writing empties any earlier recording.
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!sf) {
        if (whyNot) *whyNot = sf_strerror(nullptr);
        return nullptr;
    }
    std::unique_ptr<SoundFileWriter> writer(new SoundFileWriter());
    writer->impl_ = std::make_unique<Impl>();
    writer->impl_->sf = sf;
    return writer;
}

SoundFileWriter::~SoundFileWriter() = default;

std::size_t SoundFileWriter::append(const std::int16_t* samples, std::size_t count) {
    // libsndfile converts to the file's byte order.
    const sf_count_t written = sf_write_short(impl_->sf, samples, static_cast<sf_count_t>(count));
    sf_command(impl_->sf, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

}  // namespace brumelo
