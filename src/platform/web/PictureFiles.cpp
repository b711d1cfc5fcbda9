// Saved pictures go to the person: the share sheet on phones (whose "Save Image" puts them in
// the photo library), a download elsewhere. Only "Save your Brumie" offers one: the program's
// other saves (the background given up for a new one) would pop up a share sheet unasked. The
// browser allows it only right after a tap or a click anyway.

#include "platform/PictureFiles.h"

#include <cstdio>

#include "platform/web/Browser.h"

namespace brumelo {

namespace {
constexpr const char* kDownloads = "Downloads";
// What "Save your Brumie" names its pictures.
constexpr const char* kAskedFor = "Brumie";
int savedThisVisit = 0;
}  // namespace

std::string picturesFolder(const std::string& overrideFolder) {
    return overrideFolder.empty() ? kDownloads : overrideFolder;
}

std::string saveNewFile(const std::string& folder, const std::string& stem,
                        const std::string& extension, const std::vector<std::uint8_t>& bytes,
                        std::string* error) {
    char number[16];
    std::snprintf(number, sizeof number, "-%04d", savedThisVisit + 1);
    const std::string name = stem + number + extension;
    const char* mime = extension == ".png"   ? "image/png"
                       : extension == ".jpg" ? "image/jpeg"
                                             : "application/octet-stream";
    if (stem != kAskedFor) {
        if (error) *error = name + ": the browser offers only the pictures you save";
        return {};
    }
    char why[256] = {0};
    if (!brumelo_offer_file(bytes.data(), static_cast<int>(bytes.size()), name.c_str(), mime, why,
                            sizeof why)) {
        if (error) *error = name + ": " + why;
        return {};
    }
    ++savedThisVisit;
    return folder + "/" + name;
}

}  // namespace brumelo
