#include <gtest/gtest.h>

#include <string>

#include "app/NSDataAdditions.h"

using namespace NSDataAdditions;

namespace {
NSData bytes(const std::string& s) { return NSData(s.begin(), s.end()); }
std::string text(const NSData& d) { return std::string(d.begin(), d.end()); }
}  // namespace

TEST(NSDataAdditions, EncodesRfc4648VectorsWithPadding) {
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"},
                                                           {"abc", "YWJj"},
                                                           {"ab", "YWI="},
                                                           {"a", "YQ=="}};
    for (auto [plain, coded] : vectors) {
        EXPECT_EQ(base64Encoding(bytes(plain)), coded) << plain;
        EXPECT_EQ(text(dataWithBase64EncodedString(coded)), plain) << coded;
    }
    EXPECT_STREQ(encodingTable(),
                 "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(NSDataAdditions, AllByteValuesRoundTrip) {
    NSData all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(255 - i));
    for (std::size_t n = 0; n <= all.size(); n += 37) {
        NSData part(all.begin(), all.begin() + static_cast<long>(n));
        EXPECT_EQ(dataWithBase64EncodedString(base64EncodingWithLineLength(part, 76)), part);
    }
}

TEST(NSDataAdditions, LineLengthsRoundUpToWholeGroups) {
    const std::string sixty = base64EncodingWithLineLength(NSData(60, 'x'), 76);
    ASSERT_EQ(sixty.size(), 76u + 1 + 4);
    EXPECT_EQ(sixty[76], '\n');
    EXPECT_EQ(sixty.find('\n', 77), std::string::npos);

    const std::string fiftySeven = base64EncodingWithLineLength(NSData(57, 'x'), 76);
    EXPECT_EQ(fiftySeven.size(), 77u);
    EXPECT_EQ(fiftySeven.back(), '\n');

    // 10 is not a multiple of 4: every line holds 12 characters.
    const std::string tens = base64EncodingWithLineLength(NSData(20, 'x'), 10);
    EXPECT_EQ(tens.substr(12, 1), "\n");
    EXPECT_EQ(tens.substr(25, 1), "\n");
    EXPECT_EQ(tens.size(), 12u + 1 + 12 + 1 + 4);

    EXPECT_EQ(base64EncodingWithLineLength(NSData(1000, 'x'), 0).find('\n'), std::string::npos);
}

TEST(NSDataAdditions, VeryLongLineLengthsStillBreak) {
    // A narrow counter would wrap before reaching the limit and never break the line.
    const std::uint32_t n = 70000;
    const std::string coded = base64EncodingWithLineLength(NSData(n / 4 * 3 + 3, 'y'), n);
    EXPECT_EQ(coded.find('\n'), static_cast<std::size_t>(n));
}

TEST(NSDataAdditions, DecodingQuirks) {
    EXPECT_EQ(text(dataWithBase64EncodedString("Y W\nJ\tj")), "abc");
    EXPECT_EQ(text(dataWithBase64EncodedString("YWJjZA")), "abc");  // incomplete group dropped
    EXPECT_EQ(text(dataWithBase64EncodedString("YWJjZA==ignored")), "abcd");
    EXPECT_EQ(text(dataWithBase64EncodedString("YWJj=YWJj")), "abc");
    EXPECT_EQ(text(dataWithBase64EncodedString("=YWJj")), "");
    EXPECT_EQ(text(dataWithBase64EncodedString("YWJj*!Y\x01Q==")), "abca");
    EXPECT_TRUE(dataWithBase64EncodedString("YWJj\xc3\xa9").empty());  // non-ASCII: nothing
    EXPECT_TRUE(initWithBase64EncodedString(std::nullopt).empty());
    // A lone value before '=' gives one byte of it; the missing value counts as 0.
    EXPECT_EQ(dataWithBase64EncodedString("YWJjZ="), bytes("abc\x64"));
}

TEST(NSDataAdditions, Prefixes) {
    const NSData data = bytes("brumelo");
    EXPECT_TRUE(hasPrefix(data, bytes("bru")));
    EXPECT_TRUE(hasPrefix(data, data));
    EXPECT_FALSE(hasPrefix(data, bytes("")));
    EXPECT_FALSE(hasPrefix(data, bytes("brumelos")));
    EXPECT_FALSE(hasPrefix(data, bytes("rum")));
    EXPECT_TRUE(hasPrefixBytesLength(data, "brum", 4));
    EXPECT_FALSE(hasPrefixBytesLength(data, nullptr, 4));
    EXPECT_FALSE(hasPrefixBytesLength(data, "brum", 0));
    EXPECT_FALSE(hasPrefixBytesLength(data, "brumelo!", 8));
    EXPECT_FALSE(hasPrefixBytesLength(data, "bx", 2));
}
