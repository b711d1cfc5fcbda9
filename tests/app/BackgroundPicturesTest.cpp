#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "TestSupport.h"
#include "app/AlertView.h"
#include "app/BackgroundPictures.h"
#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "platform/Image.h"
#include "platform/PictureFiles.h"

using namespace menus_test;

namespace {

// Six pixels, each its own colour, so every turn and flip is told apart.
Image sixColours() {
    std::vector<std::uint8_t> px;
    for (int i = 0; i < 6; ++i) {
        px.push_back(static_cast<std::uint8_t>(40 * i));
        px.push_back(static_cast<std::uint8_t>(250 - 40 * i));
        px.push_back(static_cast<std::uint8_t>(i % 2 ? 200 : 20));
        px.push_back(255);
    }
    return Image(3, 2, std::move(px), ImageAlpha::NoneSkipLast);
}

void expectPixel(const Image& result, int x, int y, const Image& source, int sx, int sy) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(result.pixel(x, y)[c], source.pixel(sx, sy)[c], 2)
            << "result (" << x << "," << y << ") from source (" << sx << "," << sy << ")";
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= data[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// A PNG header claiming a huge picture; its pixels never exist.
std::vector<std::uint8_t> hugePngHeader() {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const std::uint8_t ihdr[] = {'I',  'H',  'D',  'R', 0x00, 0x00, 0xC3, 0x50, 0x00,
                                 0x00, 0xC3, 0x50, 8,   6,    0,    0,    0};
    const std::uint8_t length[] = {0, 0, 0, 13};
    png.insert(png.end(), length, length + 4);
    png.insert(png.end(), ihdr, ihdr + sizeof ihdr);
    const std::uint32_t crc = crc32(ihdr, sizeof ihdr);
    for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<std::uint8_t>(crc >> s));
    // An empty data chunk: readers look that far before they know the size.
    const std::uint8_t idat[] = {0, 0, 0, 0, 'I', 'D', 'A', 'T'};
    png.insert(png.end(), idat, idat + 8);
    const std::uint32_t idatCrc = crc32(idat + 4, 4);
    for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<std::uint8_t>(idatCrc >> s));
    return png;
}

class Backgrounds : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = brumelo::settings();
        brumelo::settings().dataDir = data_.path();
        brumelo::settings().picturesDir = pictures_.path();
        brumelo::settings().resourceDir = resources_.path();
        brumelo::settings().headless = true;
        brumelo::answerImagePicker(std::nullopt);
    }
    void TearDown() override {
        while (AlertView* a = AlertView::visibleAlert()) a->pressButton(0);
        brumelo::settings() = saved_;
    }
    std::string picturePng(int w, int h) {
        const std::string path = resources_ / ("picture-" + std::to_string(w) + ".png");
        writeBytes(path, brumelo::encodePNG(Image::filled(w, h, 200, 40, 90, 255)));
        return path;
    }

    TempDir data_, pictures_, resources_;
    brumelo::Settings saved_;
    TenzoAppDelegate app_;
};

}  // namespace

TEST(ScaleAndRotateImage, SizesScaleToAtMost480OnTheLongerSide) {
    struct Case {
        int w, h, orientation, outW, outH;
    } cases[] = {
        {1600, 1200, ImageOrientationUp, 480, 360},
        {1200, 1600, ImageOrientationUp, 360, 480},
        {100, 80, ImageOrientationUp, 100, 80},
        {480, 480, ImageOrientationUp, 480, 480},
        {481, 100, ImageOrientationUp, 480, 100},
        {1600, 1200, ImageOrientationRight, 360, 480},
        {1600, 1200, ImageOrientationLeftMirrored, 360, 480},
    };
    for (const Case& c : cases) {
        Image in = Image::filled(c.w, c.h, 10, 20, 30, 255);
        in.setOrientation(c.orientation);
        const Image out = scaleAndRotateImage(in);
        EXPECT_EQ(out.width(), c.outW) << c.w << "x" << c.h << " o" << c.orientation;
        EXPECT_EQ(out.height(), c.outH) << c.w << "x" << c.h << " o" << c.orientation;
        EXPECT_EQ(out.orientation(), ImageOrientationUp);
        EXPECT_NEAR(out.pixel(out.width() / 2, out.height() / 2)[1], 20, 2);
    }
}

TEST(ScaleAndRotateImage, EveryOrientationComesOutUpright) {
    const Image s = sixColours();  // 3 wide, 2 high
    for (int o = 0; o < 8; ++o) {
        Image in = s;
        in.setOrientation(o);
        const Image r = scaleAndRotateImage(in);
        const bool turned = o == 2 || o == 3 || o == 6 || o == 7;
        ASSERT_EQ(r.width(), turned ? 2 : 3) << o;
        ASSERT_EQ(r.height(), turned ? 3 : 2) << o;
        for (int y = 0; y < r.height(); ++y)
            for (int x = 0; x < r.width(); ++x) {
                SCOPED_TRACE("orientation " + std::to_string(o));
                switch (o) {
                    case ImageOrientationUp:
                        expectPixel(r, x, y, s, x, y);
                        break;
                    case ImageOrientationDown:
                        expectPixel(r, x, y, s, 2 - x, 1 - y);
                        break;
                    case ImageOrientationUpMirrored:
                        expectPixel(r, x, y, s, 2 - x, y);
                        break;
                    case ImageOrientationDownMirrored:
                        expectPixel(r, x, y, s, x, 1 - y);
                        break;
                    case ImageOrientationLeft:
                        expectPixel(r, x, y, s, 2 - y, x);
                        break;
                    case ImageOrientationRight:
                        expectPixel(r, x, y, s, y, 1 - x);
                        break;
                    case ImageOrientationLeftMirrored:
                        expectPixel(r, x, y, s, y, x);
                        break;
                    case ImageOrientationRightMirrored:
                        expectPixel(r, x, y, s, 2 - y, 1 - x);
                        break;
                }
            }
    }
}

TEST(ScaleAndRotateImage, RefusesUnknownOrientation) {
    Image in = sixColours();
    in.setOrientation(8);
    try {
        scaleAndRotateImage(in);
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Invalid image orientation");
    }
}

TEST_F(Backgrounds, CustomBackgroundLivesInTheDataFolder) {
    EXPECT_EQ(getCustomBGURL(), data_.path() + "/CustomBG.png");
}

TEST_F(Backgrounds, PickedPictureIsStoredUprightAndScaled) {
    app_.pickImage();
    EXPECT_TRUE(brumelo::imagePickerVisible());
    brumelo::answerImagePicker(picturePng(960, 600));
    EXPECT_FALSE(brumelo::imagePickerVisible());
    const auto stored = brumelo::decodeImage(readBytes(getCustomBGURL()));
    ASSERT_TRUE(stored) << stored.error;
    EXPECT_EQ(stored.image->width(), 480);
    EXPECT_EQ(stored.image->height(), 300);
    // Beside it, for the glass look, the landscape picture covering the whole pane at the
    // density it has to give (600 / 480 points), no bars above or below.
    const auto dense = brumelo::decodeImage(readBytes(getDenseBackgroundPath()));
    ASSERT_TRUE(dense) << dense.error;
    EXPECT_EQ(dense.image->width(), 400);
    EXPECT_EQ(dense.image->height(), 600);
    for (auto [x, y] : {std::pair{0, 0}, {399, 0}, {0, 599}, {399, 599}, {200, 300}})
        EXPECT_NEAR(dense.image->pixel(x, y)[0], 200, 3) << x << "," << y;
    EXPECT_EQ(filesIn(data_.path()),
              (std::vector<std::string>{"CustomBG-dense.png", "CustomBG.png"}));  // no leftovers
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
}

TEST(CoverPicture, ATurnedPhotoCoversThePaneUprightCentredAndCropped) {
    // 1600 x 1000 stored sideways (EXIF: turn right): upright it is 1000 wide, 1600 high;
    // its middle third across is green, the thirds either side red and blue.
    Image photo = Image::filled(1600, 1000, 0, 0, 0, 255);
    for (int y = 0; y < 1000; ++y)
        for (int x = 0; x < 1600; ++x) {
            auto* p = const_cast<std::uint8_t*>(photo.pixel(x, y));
            const int band = y * 3 / 1000;  // across the upright picture
            p[0] = band == 0 ? 255 : 0;
            p[1] = band == 1 ? 255 : 0;
            p[2] = band == 2 ? 255 : 0;
        }
    photo.setOrientation(ImageOrientationRight);
    const brumelo::CoverPicture cover = brumelo::coverPicture(photo);
    EXPECT_EQ(cover.pixelsPerPoint, 3.0f);  // 1000 / 320 points, in quarters
    ASSERT_EQ(cover.image.width(), 960);
    ASSERT_EQ(cover.image.height(), 1440);
    // Upright: a column down the middle is green, the sides keep their own colours.
    EXPECT_GT(cover.image.pixel(480, 10)[1], 200);
    EXPECT_GT(cover.image.pixel(480, 1430)[1], 200);
    const bool redLeft = cover.image.pixel(10, 720)[0] > 200 && cover.image.pixel(950, 720)[2] > 200;
    const bool blueLeft = cover.image.pixel(10, 720)[2] > 200 && cover.image.pixel(950, 720)[0] > 200;
    EXPECT_TRUE(redLeft || blueLeft);
}

TEST(CoverPicture, AnUprightPhotoAtTheCoversSizeKeepsItsMiddlePixelsExactly) {
    // 700 x 960: at 2 pixels a point it covers 320 x 480 points with 30 columns to spare on
    // each side, and needs no scaling.
    Image photo = Image::filled(700, 960, 0, 0, 0, 255, ImageAlpha::NoneSkipLast);
    for (int y = 0; y < 960; ++y)
        for (int x = 0; x < 700; ++x) {
            auto* p = const_cast<std::uint8_t*>(photo.pixel(x, y));
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(x >> 8);
            p[2] = static_cast<std::uint8_t>(y);
        }
    const brumelo::CoverPicture cover = brumelo::coverPicture(photo, 320, 480);
    ASSERT_EQ(cover.image.width(), 640);
    ASSERT_EQ(cover.image.height(), 960);
    for (auto [x, y] : {std::pair{0, 0}, {639, 0}, {0, 959}, {639, 959}, {321, 477}}) {
        const std::uint8_t* p = cover.image.pixel(x, y);
        const std::uint8_t* from = photo.pixel(x + 30, y);
        EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{from[0], from[1], from[2], 255}))
            << x << "," << y;
    }
}

TEST_F(Backgrounds, CancellingOrRefusedFilesChangeNothing) {
    writeBytes(getCustomBGURL(), {1, 2, 3});
    app_.pickImage();
    brumelo::answerImagePicker(std::nullopt);
    EXPECT_FALSE(brumelo::imagePickerVisible());
    EXPECT_EQ(readBytes(getCustomBGURL()), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);

    const std::string text = resources_ / "notes.png";
    writeText(text, "just some words, not a picture\n");
    const std::string huge = resources_ / "huge.png";
    writeBytes(huge, hugePngHeader());
    const std::pair<std::string, const char*> refused[] = {
        {text, "Not a picture"}, {huge, "Picture too large"}, {resources_ / "gone.png", ""}};
    for (const auto& [path, title] : refused) {
        app_.pickImage();
        testing::internal::CaptureStderr();
        brumelo::answerImagePicker(path);
        const std::string log = testing::internal::GetCapturedStderr();
        AlertView* alert = AlertView::visibleAlert();
        ASSERT_NE(alert, nullptr) << path;
        if (*title) {
            EXPECT_EQ(alert->title(), title);
        }
        EXPECT_NE(alert->message().find(path.substr(path.rfind('/') + 1)), std::string::npos);
        EXPECT_NE(log.find("alert: "), std::string::npos);
        alert->pressButton(0);
        EXPECT_EQ(readBytes(getCustomBGURL()), (std::vector<std::uint8_t>{1, 2, 3})) << path;
    }
}

TEST_F(Backgrounds, FirstLaunchStoresTheShippedPictureAndSavesACopy) {
    writeBytes(resources_ / "back1.png", brumelo::encodePNG(Image::filled(320, 480, 1, 2, 3, 255)));
    brumelo::loadStoredBackground();
    EXPECT_EQ(readBytes(getCustomBGURL()), readBytes(resources_ / "back1.png"));
    ASSERT_EQ(filesIn(pictures_.path()).size(), 1u);
    EXPECT_EQ(readBytes(pictures_ / filesIn(pictures_.path())[0]),
              readBytes(resources_ / "back1.png"));

    // The next launch reads it back and saves nothing more.
    brumelo::loadStoredBackground();
    EXPECT_EQ(filesIn(pictures_.path()).size(), 1u);
}

TEST_F(Backgrounds, UnusableStoredPictureIsKeptAndLogged) {
    writeText(getCustomBGURL(), "garbage");
    testing::internal::CaptureStderr();
    brumelo::loadStoredBackground();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("CustomBG.png"), std::string::npos);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    EXPECT_EQ(readBytes(getCustomBGURL()),
              std::vector<std::uint8_t>({'g', 'a', 'r', 'b', 'a', 'g', 'e'}));
    EXPECT_TRUE(filesIn(pictures_.path()).empty());

    // Wider than a drawing surface can be: it would show as a blank background.
    const auto wide = brumelo::encodePNG(Image::filled(40000, 1, 9, 9, 9, 255));
    writeBytes(getCustomBGURL(), wide);
    testing::internal::CaptureStderr();
    brumelo::loadStoredBackground();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("too large"), std::string::npos);
    EXPECT_EQ(readBytes(getCustomBGURL()), wide);
}

TEST(PictureFiles, AtomicWriteReplacesWholeOrLeavesTheOldFile) {
    TempDir dir;
    const std::string path = dir / "sub/CustomBG.png";
    ASSERT_TRUE(brumelo::writeFileAtomically(path, {1, 2, 3}));
    ASSERT_TRUE(brumelo::writeFileAtomically(path, {4, 5}));
    EXPECT_EQ(readBytes(path), (std::vector<std::uint8_t>{4, 5}));
    EXPECT_EQ(filesIn(dir / "sub"), std::vector<std::string>{"CustomBG.png"});

    // A target that cannot be replaced: the write fails and leaves no temporary file behind.
    std::filesystem::create_directories(dir / "sub/blocked/inner");
    std::string error;
    EXPECT_FALSE(brumelo::writeFileAtomically(dir / "sub/blocked", {9}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(filesIn(dir / "sub"), (std::vector<std::string>{"CustomBG.png", "blocked"}));
}

TEST(PictureFiles, SavingNeverOverwrites) {
    TempDir dir;
    const std::string folder = dir / "Pictures/Brumelo";
    std::filesystem::create_directories(folder);
    writeBytes(folder + "/Brumie-0001.png", {7});
    const std::string a = brumelo::saveNewFile(folder, "Brumie", ".png", {1});
    const std::string b = brumelo::saveNewFile(folder, "Brumie", ".png", {2});
    EXPECT_EQ(a, folder + "/Brumie-0002.png");
    EXPECT_EQ(b, folder + "/Brumie-0003.png");
    EXPECT_EQ(readBytes(folder + "/Brumie-0001.png"), std::vector<std::uint8_t>{7});
    EXPECT_EQ(readBytes(a), std::vector<std::uint8_t>{1});
    EXPECT_EQ(readBytes(b), std::vector<std::uint8_t>{2});
    // The folder is made when missing.
    EXPECT_FALSE(brumelo::saveNewFile(dir / "new/deep", "x", ".png", {1}).empty());
}

TEST(PictureFiles, PicturesFolderFollowsXdgUserDirs) {
    TempDir home;
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    EXPECT_EQ(brumelo::picturesFolder(), home / "Pictures/Brumelo");  // no user-dirs.dirs
    std::filesystem::create_directories(home / ".config");
    writeText(home / ".config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(brumelo::picturesFolder(), home / "Bilder/Brumelo");
    EXPECT_EQ(brumelo::picturesFolder("/elsewhere"), "/elsewhere");
    ::setenv("HOME", oldHome.c_str(), 1);
    if (oldConfig)
        ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
