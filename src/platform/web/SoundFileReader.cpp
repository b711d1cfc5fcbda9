// Our own reader of CAF files of linear PCM (16-bit integers, mono or stereo, either byte
// order): the browser has no CAF decoder, and the wipe sounds ship as CAF.

#include "platform/SoundFileReader.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace brumelo {

namespace {

constexpr std::uint32_t fourCC(const char* s) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[3]));
}

std::uint64_t bigEndian(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

constexpr std::uint32_t kFlagFloat = 1, kFlagLittleEndian = 2;

}  // namespace

struct SoundFileReader::Impl {
    std::vector<std::int16_t> frames;  // interleaved, native order
};

std::unique_ptr<SoundFileReader> SoundFileReader::open(const std::string& path,
                                                       std::string* whyNot) {
    auto fail = [whyNot](const std::string& why) -> std::unique_ptr<SoundFileReader> {
        if (whyNot) *whyNot = why;
        return nullptr;
    };
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail("cannot open " + path);
    std::vector<unsigned char> bytes;
    unsigned char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    if (bytes.size() < 8 || bigEndian(bytes.data(), 4) != fourCC("caff"))
        return fail("not a CAF file");

    bool haveFormat = false;
    double rate = 0;
    std::uint32_t flags = 0, channels = 0, bits = 0, bytesPerPacket = 0, framesPerPacket = 0;
    const unsigned char* data = nullptr;
    std::size_t dataBytes = 0;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t type = static_cast<std::uint32_t>(bigEndian(&bytes[at], 4));
        const auto size = static_cast<std::int64_t>(bigEndian(&bytes[at + 4], 8));
        const std::size_t body = at + 12;
        const std::size_t left = bytes.size() - body;
        // A data chunk of unknown size (-1) runs to the end of the file.
        const std::size_t length =
            size < 0 ? left : static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
        if (type == fourCC("desc") && length >= 32) {
            std::uint64_t bits64 = bigEndian(&bytes[body], 8);
            std::memcpy(&rate, &bits64, sizeof rate);
            if (bigEndian(&bytes[body + 8], 4) != fourCC("lpcm")) return fail("not linear PCM");
            flags = static_cast<std::uint32_t>(bigEndian(&bytes[body + 12], 4));
            bytesPerPacket = static_cast<std::uint32_t>(bigEndian(&bytes[body + 16], 4));
            framesPerPacket = static_cast<std::uint32_t>(bigEndian(&bytes[body + 20], 4));
            channels = static_cast<std::uint32_t>(bigEndian(&bytes[body + 24], 4));
            bits = static_cast<std::uint32_t>(bigEndian(&bytes[body + 28], 4));
            haveFormat = true;
        } else if (type == fourCC("data") && length >= 4) {
            // The chunk starts with an edit count.
            data = &bytes[body + 4];
            dataBytes = length - 4;
        }
        if (size < 0) break;
        at = body + length;
    }
    if (!haveFormat) return fail("no format description");
    if ((flags & kFlagFloat) || bits != 16 || channels < 1 || channels > 2 ||
        framesPerPacket != 1 || bytesPerPacket != 2 * channels || !(rate >= 1 && rate < 1e6))
        return fail("not 16-bit mono or stereo PCM");
    if (!data) return fail("no sound data");

    std::unique_ptr<SoundFileReader> reader(new SoundFileReader());
    reader->impl_ = std::make_unique<Impl>();
    const std::size_t samples = dataBytes / 2 / channels * channels;
    reader->impl_->frames.resize(samples);
    const bool little = (flags & kFlagLittleEndian) != 0;
    for (std::size_t i = 0; i < samples; ++i) {
        const unsigned char* p = data + 2 * i;
        const auto v =
            static_cast<std::uint16_t>(little ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]));
        reader->impl_->frames[i] = static_cast<std::int16_t>(v);
    }
    reader->channels_ = static_cast<int>(channels);
    reader->sampleRate_ = static_cast<int>(rate);
    return reader;
}

SoundFileReader::~SoundFileReader() = default;

std::size_t SoundFileReader::read(std::uint64_t first, std::int16_t* out, std::size_t frames) {
    const std::size_t c = static_cast<std::size_t>(channels_);
    const std::size_t total = impl_->frames.size() / c;
    if (first >= total) return 0;
    const std::size_t n = std::min<std::size_t>(frames, total - static_cast<std::size_t>(first));
    std::memcpy(out, impl_->frames.data() + first * c, n * c * sizeof(std::int16_t));
    return n;
}

}  // namespace brumelo
