// The browser build keeps no recording: the file would grow by the microphone's rate for as
// long as the page is open, in memory and in the site's storage, and nothing reads it back. It
// is made as a complete CAF file with no samples, which still marks that the program has run.

#include "platform/SoundFileWriter.h"

#include <cstdio>
#include <cstring>

namespace brumelo {

namespace {

void put(std::FILE* f, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

}  // namespace

struct SoundFileWriter::Impl {};

std::unique_ptr<SoundFileWriter> SoundFileWriter::createCAF(const std::string& path,
                                                            double sampleRate,
                                                            std::string* whyNot) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (whyNot) *whyNot = std::strerror(errno);
        return nullptr;
    }
    std::fputs("caff", f);
    put(f, 1, 2);  // version
    put(f, 0, 2);  // flags
    std::fputs("desc", f);
    put(f, 32, 8);
    std::uint64_t rateBits = 0;
    std::memcpy(&rateBits, &sampleRate, sizeof rateBits);
    put(f, rateBits, 8);
    std::fputs("lpcm", f);
    put(f, 2, 4);   // little-endian signed integers
    put(f, 2, 4);   // bytes per packet
    put(f, 1, 4);   // frames per packet
    put(f, 1, 4);   // channels
    put(f, 16, 4);  // bits
    std::fputs("data", f);
    put(f, 4, 8);
    put(f, 0, 4);  // edit count
    const bool ok = std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok) {
        if (whyNot) *whyNot = "cannot write " + path;
        return nullptr;
    }
    std::fprintf(stderr, "Recording: the browser keeps no recording; %s only marks the first run\n",
                 path.c_str());
    std::unique_ptr<SoundFileWriter> writer(new SoundFileWriter());
    writer->impl_ = std::make_unique<Impl>();
    return writer;
}

SoundFileWriter::~SoundFileWriter() = default;

std::size_t SoundFileWriter::append(const std::int16_t*, std::size_t) { return 0; }

}  // namespace brumelo
