// Writes the harnesses' seed corpora under the folder given (tests/fuzz/corpus): small inputs of
// every kind each harness reads, made here so that no outside sample files are needed.
//   cmake --build build --target fuzz_seeds && build/tests/fuzz/fuzz_seeds tests/fuzz/corpus

#include <png.h>
#include <sndfile.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path root;

void save(const std::string& harness, const std::string& name, const Bytes& bytes) {
    fs::create_directories(root / harness);
    std::ofstream out(root / harness / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void save(const std::string& harness, const std::string& name, const std::string& text) {
    save(harness, name, Bytes(text.begin(), text.end()));
}

// A small gradient, `channels` bytes a pixel.
Bytes gradient(int width, int height, int channels) {
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels.push_back(static_cast<std::uint8_t>((x * 40 + y * 25 + c * 70) & 0xFF));
    return pixels;
}

Bytes png(int width, int height, png_uint_32 format, int bytesPerPixel) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    Bytes pixels = gradient(width, height, bytesPerPixel);
    std::vector<std::uint8_t> colormap;
    const void* map = nullptr;
    if (format & PNG_FORMAT_FLAG_COLORMAP) {
        image.colormap_entries = 4;
        colormap = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
        map = colormap.data();
        for (auto& p : pixels) p &= 3;
    }
    png_alloc_size_t size = 0;
    png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, map);
    Bytes out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, map);
    out.resize(size);
    png_image_free(&image);
    return out;
}

Bytes jpeg(int width, int height, int subsampling, int flags) {
    tjhandle handle = tjInitCompress();
    Bytes pixels = gradient(width, height, 3);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, pixels.data(), width, 0, height, TJPF_RGB, &data, &size, subsampling, 75,
                flags);
    Bytes out(data, data + size);
    tjFree(data);
    tjDestroy(handle);
    return out;
}

// The JPEG with an EXIF segment holding only the orientation tag, in either byte order.
Bytes withOrientation(Bytes jpegBytes, int orientation, bool bigEndian) {
    auto u16 = [&](Bytes& b, unsigned v) {
        if (bigEndian) {
            b.push_back(static_cast<std::uint8_t>(v >> 8));
            b.push_back(static_cast<std::uint8_t>(v));
        } else {
            b.push_back(static_cast<std::uint8_t>(v));
            b.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    };
    auto u32 = [&](Bytes& b, unsigned v) {
        if (bigEndian) {
            u16(b, v >> 16);
            u16(b, v & 0xFFFF);
        } else {
            u16(b, v & 0xFFFF);
            u16(b, v >> 16);
        }
    };
    Bytes tiff;
    tiff.push_back(bigEndian ? 'M' : 'I');
    tiff.push_back(bigEndian ? 'M' : 'I');
    u16(tiff, 42);
    u32(tiff, 8);
    u16(tiff, 1);       // one entry
    u16(tiff, 0x0112);  // orientation
    u16(tiff, 3);       // SHORT
    u32(tiff, 1);       // one value
    u16(tiff, static_cast<unsigned>(orientation));
    u16(tiff, 0);  // padding of the value field
    u32(tiff, 0);  // no next directory
    Bytes segment = {0xFF, 0xE1};
    const std::size_t length = 2 + 6 + tiff.size();
    segment.push_back(static_cast<std::uint8_t>(length >> 8));
    segment.push_back(static_cast<std::uint8_t>(length));
    const char exif[6] = {'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), exif, exif + 6);
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    jpegBytes.insert(jpegBytes.begin() + 2, segment.begin(), segment.end());
    return jpegBytes;
}

Bytes sound(int format, int rate, int channels, int frames) {
    const fs::path path = fs::temp_directory_path() / "brumelo-seed-sound";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!sf) {
        std::fprintf(stderr, "fuzz_seeds: cannot write sound format %x: %s\n", format,
                     sf_strerror(nullptr));
        return {};
    }
    std::vector<short> samples(static_cast<std::size_t>(frames * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>((i * 2311) % 20000 - 10000);
    sf_writef_short(sf, samples.data(), frames);
    sf_close(sf);
    std::ifstream in(path, std::ios::binary);
    Bytes out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(path);
    return out;
}

std::string nul(std::initializer_list<std::string> parts) {
    std::string out;
    bool first = true;
    for (const auto& p : parts) {
        if (!first) out += '\0';
        first = false;
        out += p;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds CORPUS-FOLDER\n");
        return 2;
    }
    root = argv[1];

    save("script", "every-event",
         "# every event once\n1 button 0\n3 touch-down 1 30 90\n4 touch-move 1 34.5 102\n"
         "5 touch-up 1 40 110 2\n6 touch-cancel 2 1 2\n7 accel 0.35 -0.95 0\n8 mic 0.8\n"
         "9 pick /tmp/a picture#1.png\n10 pick cancel\n11 screenshot /tmp/shot.png\n");
    save("script", "fingers",
         "2 touch-down 1 10 10\n2 touch-down 2 300 470\n3 touch-move 2 200 "
         "300   # two at once\n\t4 touch-up 1 10 10 1\r\n5 touch-up 2 1 1\n");
    save("script", "bad-line", "1 mic 0.5\n2 screenshot/tmp/shot.png\n3 pickcancel\n");

    save("options", "headless",
         nul({"--headless", "--frames", "100", "--seed", "1", "--script", "x.script",
              "--screenshot", "last.png"}));
    save("options", "inline",
         nul({"--frames=5", "--scale=2", "--fullscreen", "--data-dir=/tmp/d", "--accel-device",
              "/sys/bus/iio/devices/iio:device0"}));
    save("options", "help", nul({"--help"}));
    save("options", "refused", nul({"--seed", "4294967296", "--mic-file"}));

    save("image", "rgb.png", png(5, 4, PNG_FORMAT_RGB, 3));
    save("image", "rgba.png", png(4, 5, PNG_FORMAT_RGBA, 4));
    save("image", "gray.png", png(3, 3, PNG_FORMAT_GRAY, 1));
    save("image", "gray-alpha.png", png(3, 2, PNG_FORMAT_GA, 2));
    save("image", "palette.png", png(4, 4, PNG_FORMAT_RGB_COLORMAP, 1));
    save("image", "linear16.png", png(2, 2, PNG_FORMAT_LINEAR_RGB_ALPHA, 8));
    save("image", "plain.jpg", jpeg(16, 8, TJSAMP_420, 0));
    save("image", "gray.jpg", jpeg(8, 8, TJSAMP_GRAY, 0));
    save("image", "progressive.jpg", jpeg(9, 7, TJSAMP_444, TJFLAG_PROGRESSIVE));
    save("image", "right-mm.jpg", withOrientation(jpeg(16, 8, TJSAMP_420, 0), 6, true));
    save("image", "left-ii.jpg", withOrientation(jpeg(8, 16, TJSAMP_422, 0), 8, false));
    save("image", "down-mirrored-mm.jpg", withOrientation(jpeg(8, 8, TJSAMP_420, 0), 4, true));

    // Larger than 480 on a side, so storing scales it; flat, so the file stays small.
    save("background", "wide.png", png(600, 40, PNG_FORMAT_GRAY, 1));

    save("mic", "mono.wav", sound(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 400));
    save("mic", "stereo.caf", sound(SF_FORMAT_CAF | SF_FORMAT_PCM_16, 22050, 2, 200));
    save("mic", "float.aiff", sound(SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 11025, 1, 200));
    save("mic", "ulaw.au", sound(SF_FORMAT_AU | SF_FORMAT_ULAW, 8000, 1, 300));
    save("mic", "mono.flac", sound(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16000, 1, 800));

    save("accel", "upright", nul({"0", "-1000", "0", "0.00980665"}));
    save("accel", "mounted",
         nul({"12", "-980", "3", "0.01", "\xff", "0, 1, 0; -1, 0, 0; 0, 0, 1"}));
    save("accel", "per-axis",
         nul({"100", "200", "-300", "\xff", "2", "\xff", "0.01", "0.02", "0.03", "1", "\xff",
              "-1"}));
    save("accel", "empty-files", nul({"", "", "", "1"}));

    save("base64", "abc", "YWJj");
    save("base64", "padded", "YWI=\nYQ==");
    save("base64", "spaced", "Y W J j ZA");
    save("base64", "bytes", Bytes{0x00, 0xFF, 0x10, 0x80, 0x7F, 0x3D, 0x0A});

    save("maillink", "friend", std::string("friend@example.com") + '\0' + "\xff\xd8\xff\xe0 jpeg");
    save("maillink", "nobody", std::string("\0", 1) + "abc");
    Bytes picture = jpeg(8, 8, TJSAMP_420, 0);
    picture.insert(picture.begin(), 0);
    save("maillink", "jpeg", picture);
    return 0;
}
