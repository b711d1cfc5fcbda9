#include "app/NSDataAdditions.h"

#include <cstring>

namespace NSDataAdditions {

namespace {
const char kTable[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int decodeValue(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

const char* encodingTable() { return kTable; }

std::string base64Encoding(std::span<const std::uint8_t> data) {
    return base64EncodingWithLineLength(data, 0);
}

std::string base64EncodingWithLineLength(std::span<const std::uint8_t> data,
                                         std::uint32_t lineLength) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4 + (lineLength ? data.size() / lineLength + 1 : 0));
    // Wider than 16 bits so that line lengths past 65532 still break lines.
    std::uint64_t counter = 0;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t left = data.size() - i;
        const unsigned b0 = data[i];
        const unsigned b1 = left > 1 ? data[i + 1] : 0;
        const unsigned b2 = left > 2 ? data[i + 2] : 0;
        out += kTable[b0 >> 2];
        out += kTable[((b0 << 4) & 0x3F) | (b1 >> 4)];
        out += left > 1 ? kTable[((b1 << 2) & 0x3F) | (b2 >> 6)] : '=';
        out += left > 2 ? kTable[b2 & 0x3F] : '=';
        counter += 4;
        if (lineLength != 0 && counter >= lineLength) {
            out += '\n';
            counter = 0;
        }
    }
    return out;
}

NSData initWithBase64EncodedString(const std::optional<std::string>& string) {
    NSData out;
    if (!string) return out;
    for (unsigned char c : *string)
        if (c > 0x7F) return out;
    out.reserve(string->size() / 4 * 3);
    // Missing values of a short last group count as 0, never as leftovers of the group before.
    unsigned v[4] = {0, 0, 0, 0};
    int count = 0;
    auto emit = [&](int bytes) {
        const std::uint8_t b[3] = {
            static_cast<std::uint8_t>((v[0] << 2) | ((v[1] & 0x30) >> 4)),
            static_cast<std::uint8_t>(((v[1] & 0x0F) << 4) | ((v[2] & 0x3C) >> 2)),
            static_cast<std::uint8_t>(((v[2] & 0x03) << 6) | (v[3] & 0x3F))};
        out.insert(out.end(), b, b + bytes);
    };
    for (unsigned char c : *string) {
        if (c == '=') {
            if (count == 1 || count == 2) emit(1);
            if (count == 3) emit(2);
            return out;
        }
        const int value = decodeValue(c);
        if (value < 0) continue;
        v[count++] = static_cast<unsigned>(value);
        if (count == 4) {
            emit(3);
            count = 0;
            v[0] = v[1] = v[2] = v[3] = 0;
        }
    }
    return out;
}

NSData dataWithBase64EncodedString(const std::string& string) {
    return initWithBase64EncodedString(string);
}

bool hasPrefix(std::span<const std::uint8_t> data, std::span<const std::uint8_t> prefix) {
    if (prefix.empty() || prefix.size() > data.size()) return false;
    return std::memcmp(data.data(), prefix.data(), prefix.size()) == 0;
}

bool hasPrefixBytesLength(std::span<const std::uint8_t> data, const void* bytes,
                          std::size_t length) {
    if (bytes == nullptr || length == 0 || length > data.size()) return false;
    return std::memcmp(data.data(), bytes, length) == 0;
}

}  // namespace NSDataAdditions
