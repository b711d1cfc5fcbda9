#include "platform/SoundFileReader.h"

#include <sndfile.h>

namespace brumelo {

struct SoundFileReader::Impl {
    SNDFILE* sf = nullptr;
    ~Impl() {
        if (sf) sf_close(sf);
    }
};

std::unique_ptr<SoundFileReader> SoundFileReader::open(const std::string& path,
                                                       std::string* whyNot) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf || info.channels < 1 || info.channels > 2 || info.samplerate <= 0) {
        if (whyNot) *whyNot = sf ? "not mono or stereo sound" : sf_strerror(nullptr);
        if (sf) sf_close(sf);
        return nullptr;
    }
    std::unique_ptr<SoundFileReader> reader(new SoundFileReader());
    reader->impl_ = std::make_unique<Impl>();
    reader->impl_->sf = sf;
    reader->channels_ = info.channels;
    reader->sampleRate_ = info.samplerate;
    return reader;
}

SoundFileReader::~SoundFileReader() = default;

std::size_t SoundFileReader::read(std::uint64_t first, std::int16_t* out, std::size_t frames) {
    if (sf_seek(impl_->sf, static_cast<sf_count_t>(first), SEEK_SET) < 0) return 0;
    const sf_count_t got = sf_readf_short(impl_->sf, out, static_cast<sf_count_t>(frames));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

}  // namespace brumelo
