#include "platform/PictureFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace brumelo {

namespace {

std::string home() {
    const char* h = std::getenv("HOME");
    return h && *h ? h : "/tmp";
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string xdgPictures() {
    std::string answer;
    if (FILE* p = popen("xdg-user-dir PICTURES 2>/dev/null", "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, p)) answer += buffer;
        pclose(p);
    }
    answer = trimmed(answer);
    // Without user-dirs.dirs the answer is the home folder itself: not a place for pictures.
    std::error_code ec;
    if (answer.empty() || answer[0] != '/' || std::filesystem::equivalent(answer, home(), ec) ||
        answer == home())
        return home() + "/Pictures";
    return answer;
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

std::string picturesFolder(const std::string& overrideFolder) {
    if (!overrideFolder.empty()) return overrideFolder;
    return xdgPictures() + "/Brumelo";
}

std::string saveNewFile(const std::string& folder, const std::string& stem,
                        const std::string& extension, const std::vector<std::uint8_t>& bytes,
                        std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (int number = 1; number < 1000000; ++number) {
        char name[64];
        std::snprintf(name, sizeof name, "-%04d", number);
        const std::string path = folder + "/" + stem + name + extension;
        // O_EXCL: a file that appears between our look and our write is never replaced.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            setError(error, path + ": " + std::strerror(errno));
            return {};
        }
        const bool ok = writeAll(fd, bytes);
        const int savedErrno = errno;
        if (::close(fd) != 0 || !ok) {
            ::unlink(path.c_str());
            setError(error, path + ": " + std::strerror(ok ? errno : savedErrno));
            return {};
        }
        return path;
    }
    setError(error, folder + ": no free file name");
    return {};
}

}  // namespace brumelo
