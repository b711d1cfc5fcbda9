// The browser's first-frame stand-in for the glass look's photo: the same photo a quarter as
// wide and high, a few kilobytes, shown until the whole one has downloaded.

#include <turbojpeg.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> readAll(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        unsigned char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    const std::vector<unsigned char> photo = readAll(dir + "/window-view.jpg");
    tjhandle decoder = tjInitDecompress();
    tjhandle encoder = tjInitCompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    bool ok = decoder && encoder && !photo.empty() &&
              tjDecompressHeader3(decoder, photo.data(), photo.size(), &width, &height,
                                  &subsampling, &colorspace) == 0;
    // Scaled as it is decoded: the decoder averages each 4 x 4 block exactly.
    const int w = (width + 3) / 4, h = (height + 3) / 4;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3);
    ok = ok && tjDecompress2(decoder, photo.data(), photo.size(), rgb.data(), w, 0, h, TJPF_RGB,
                             TJFLAG_ACCURATEDCT) == 0;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ok = ok && tjCompress2(encoder, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_420, 80,
                           TJFLAG_ACCURATEDCT | TJFLAG_PROGRESSIVE) == 0;
    const std::string out = dir + "/window-view-first.jpg";
    FILE* f = ok ? std::fopen(out.c_str(), "wb") : nullptr;
    ok = f && std::fwrite(jpeg, 1, size, f) == size;
    if (f) ok = std::fclose(f) == 0 && ok;
    tjFree(jpeg);
    if (decoder) tjDestroy(decoder);
    if (encoder) tjDestroy(encoder);
    if (!ok) std::fprintf(stderr, "make_first_picture: cannot make %s\n", out.c_str());
    return ok ? 0 : 1;
}
