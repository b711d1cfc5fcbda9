// Base64 as the mail link uses it: any bytes encode and decode back to themselves, with or
// without line breaks; any text decodes without fault and to no more bytes than it can hold.

#include "FuzzSupport.h"
#include "app/NSDataAdditions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const NSData original(data, data + size);

    const std::string oneLine = NSDataAdditions::base64Encoding(bytes);
    FUZZ_CHECK(oneLine.size() == (size + 2) / 3 * 4);
    FUZZ_CHECK(NSDataAdditions::dataWithBase64EncodedString(oneLine) == original);

    const std::uint32_t lineLength = size >= 2 ? (data[0] | (data[1] << 8)) : 76;
    const std::string lines = NSDataAdditions::base64EncodingWithLineLength(bytes, lineLength);
    FUZZ_CHECK(NSDataAdditions::dataWithBase64EncodedString(lines) == original);

    const std::string text(reinterpret_cast<const char*>(data), size);
    const NSData decoded = NSDataAdditions::initWithBase64EncodedString(text);
    FUZZ_CHECK(decoded.size() <= size / 4 * 3 + 2);

    if (size > 0) {
        FUZZ_CHECK(NSDataAdditions::hasPrefix(bytes, bytes.first(size / 2 + 1)));
        FUZZ_CHECK(!NSDataAdditions::hasPrefixBytesLength(bytes, data, size + 1));
    }
    return 0;
}
