#include <glib.h>
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/EmailImage.h"
#include "app/NSDataAdditions.h"
#include "platform/Image.h"
#include "platform/UrlOpener.h"

using namespace menus_test;

namespace {

const char* const kStore = "https://brumelo.example.org/store";

struct Mail {
    std::string recipient, subject, body;
};

// Parses the URL the way a mail program would: a real URI parser, then its query parameters.
Mail parse(const std::string& url) {
    GError* error = nullptr;
    GUri* uri = g_uri_parse(url.c_str(), G_URI_FLAGS_ENCODED, &error);
    EXPECT_NE(uri, nullptr) << (error ? error->message : "");
    Mail m;
    if (!uri) {
        g_clear_error(&error);
        return m;
    }
    EXPECT_STREQ(g_uri_get_scheme(uri), "mailto");
    char* path = g_uri_unescape_string(g_uri_get_path(uri), nullptr);
    m.recipient = path ? path : "";
    g_free(path);
    GHashTable* params =
        g_uri_parse_params(g_uri_get_query(uri), -1, "&", G_URI_PARAMS_NONE, &error);
    EXPECT_NE(params, nullptr) << (error ? error->message : "");
    if (params) {
        EXPECT_EQ(g_hash_table_size(params), 2u);
        if (auto* s = static_cast<const char*>(g_hash_table_lookup(params, "subject")))
            m.subject = s;
        if (auto* b = static_cast<const char*>(g_hash_table_lookup(params, "body"))) m.body = b;
        g_hash_table_unref(params);
    }
    g_clear_error(&error);
    g_uri_unref(uri);
    return m;
}

}  // namespace

TEST(EmailImage, EscapingKeepsDelimitersAndEncodesTheRestAsUtf8) {
    EXPECT_EQ(brumelo::escapeURLText("mailto:a@b.org?subject=x y&body=<b>\"hi\"</b>"),
              "mailto:a@b.org?subject=x%20y&body=%3Cb%3E%22hi%22%3C/b%3E");
    EXPECT_EQ(brumelo::escapeURLText("caf\xC3\xA9 100% {|}\\^`\n"),
              "caf%C3%A9%20100%25%20%7B%7C%7D%5C%5E%60%0A");
    EXPECT_EQ(brumelo::escapeURLText("AZaz09-._~:/?#[]@!$&'()*+,;="),
              "AZaz09-._~:/?#[]@!$&'()*+,;=");
}

TEST(EmailImage, MailUrlCarriesTheTextsAndTheScreenAsJpeg) {
    const Image screen = Image::filled(320, 480, 30, 90, 160, 255, ImageAlpha::NoneSkipLast);
    const std::vector<std::uint8_t> jpeg = brumelo::encodeJPEG(screen, 0.8);
    ASSERT_FALSE(jpeg.empty());
    const std::string link = std::string("<a href=\"") + kStore + "\">Brumelo</a>";

    for (const std::string recipient : {"", "iphone-brumies@example.org"}) {
        const std::string url = brumelo::emailImageURL(recipient, jpeg);
        EXPECT_EQ(url.rfind("mailto:" + recipient + "?subject=", 0), 0u);
        EXPECT_EQ(url.find_first_of(" \"<>\n"), std::string::npos);
        const Mail m = parse(url);
        EXPECT_EQ(m.recipient, recipient);
        EXPECT_EQ(m.subject, "Check this out! - Brumelo");

        const std::string intro = "I created the following image with " + link +
                                  ". You can only see the image from your iPhone Mail.app:<br/>";
        const std::string outro =
            "<hr/>Get " + link +
            " from the App Store while it's on SALE and make your own steamy pics!";
        ASSERT_EQ(m.body.rfind(intro + "<img src=\"data:image/jpg;base64,", 0), 0u) << m.body;
        const std::string tail =
            "\" alt=\"Brumelo image unavailable, please see this from your iPhone Mail.app\" "
            "width=\"320\" height=\"480\">" +
            outro;
        ASSERT_GT(m.body.size(), tail.size());
        EXPECT_EQ(m.body.substr(m.body.size() - tail.size()), tail);

        const std::size_t start = m.body.find(";base64,") + 8;
        const std::string data = m.body.substr(start, m.body.size() - tail.size() - start);
        EXPECT_EQ(data.find('\n'), std::string::npos);
        const auto decoded =
            brumelo::decodeImage(NSDataAdditions::dataWithBase64EncodedString(data));
        ASSERT_TRUE(decoded) << decoded.error;
        EXPECT_EQ(decoded.image->width(), 320);
        EXPECT_EQ(decoded.image->height(), 480);
        EXPECT_NEAR(decoded.image->pixel(100, 100)[2], 160, 4);
    }
}

TEST(UrlOpener, HandsTheUrlAsOneArgumentAndNoticesFailure) {
    TempDir dir;
    const std::string url = "mailto:?subject=a%20b&body=x";
    const std::string ok = recordingCommand(dir.path(), dir / "ok.txt");
    EXPECT_TRUE(brumelo::openURL(url, ok).get());
    const auto recorded = readBytes(dir / "ok.txt");
    EXPECT_EQ(std::string(recorded.begin(), recorded.end()), "1\n" + url);

    const std::string failing = recordingCommand(dir.path(), dir / "fail.txt", 3);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(brumelo::openURL(url, failing).get());
    EXPECT_FALSE(brumelo::openURL(url, dir / "no-such-command").get());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("exit status 3"), std::string::npos) << log;
    EXPECT_NE(log.find("no-such-command"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}
