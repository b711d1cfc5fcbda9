// The mail link: a recipient (the input up to its first NUL byte) and picture bytes (the rest)
// make one mailto URL of URL characters only, from which the recipient and every byte of the
// picture come back unchanged.

#include <string>

#include "FuzzSupport.h"
#include "app/EmailImage.h"
#include "app/NSDataAdditions.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string unescaped(const std::string& url) {
    std::string out;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] != '%') {
            out += url[i];
            continue;
        }
        FUZZ_CHECK(i + 2 < url.size());
        const int hi = hexValue(url[i + 1]), lo = hexValue(url[i + 2]);
        FUZZ_CHECK(hi >= 0 && lo >= 0);
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t cut = 0;
    while (cut < size && data[cut] != 0) ++cut;
    const std::string recipient(reinterpret_cast<const char*>(data), cut);
    const std::span<const std::uint8_t> jpeg =
        cut < size ? std::span<const std::uint8_t>(data + cut + 1, size - cut - 1)
                   : std::span<const std::uint8_t>();

    const std::string url = brumelo::emailImageURL(recipient, jpeg);
    for (unsigned char c : url)
        FUZZ_CHECK(c > 0x20 && c < 0x7F && c != '"' && c != '<' && c != '>');
    const std::string text = unescaped(url);
    FUZZ_CHECK(text.rfind("mailto:" + recipient + "?subject=", 0) == 0);

    const std::string marker = ";base64,";
    const std::size_t start = text.find(marker, 7 + recipient.size());
    FUZZ_CHECK(start != std::string::npos);
    const std::size_t end = text.find('"', start);
    FUZZ_CHECK(end != std::string::npos);
    const std::string encoded = text.substr(start + marker.size(), end - start - marker.size());
    FUZZ_CHECK(NSDataAdditions::dataWithBase64EncodedString(encoded) ==
               NSData(jpeg.begin(), jpeg.end()));
    return 0;
}
