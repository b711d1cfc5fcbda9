#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Base64 over byte buffers (RFC 4648's standard alphabet), as the mail sharing uses it.
using NSData = std::vector<std::uint8_t>;

namespace NSDataAdditions {

// "ABC...xyz0123456789+/"
const char* encodingTable();

// One line, no line feeds.
std::string base64Encoding(std::span<const std::uint8_t> data);
// With lineLength > 0 a line feed follows each run of at least lineLength characters, so lines
// hold lineLength rounded up to a multiple of 4 (and the last line may end with a line feed too).
std::string base64EncodingWithLineLength(std::span<const std::uint8_t> data,
                                         std::uint32_t lineLength);

// Lenient decoding: bytes outside the alphabet are skipped, the first '=' ends the data, an
// incomplete group at the end without '=' is dropped; non-ASCII text or no text gives no bytes.
NSData initWithBase64EncodedString(const std::optional<std::string>& string);
NSData dataWithBase64EncodedString(const std::string& string);

// False when the other buffer is empty or longer than this one.
bool hasPrefix(std::span<const std::uint8_t> data, std::span<const std::uint8_t> prefix);
bool hasPrefixBytesLength(std::span<const std::uint8_t> data, const void* bytes,
                          std::size_t length);

}  // namespace NSDataAdditions
