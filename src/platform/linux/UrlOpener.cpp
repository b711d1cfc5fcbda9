#include "platform/UrlOpener.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace brumelo {

std::shared_future<bool> openURL(const std::string& url, const std::string& command) {
    const std::string program = command.empty() ? "xdg-open" : command;
    std::promise<bool> promise;
    std::shared_future<bool> result = promise.get_future().share();

    std::string arg0 = program, arg1 = url;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    if (err != 0) {
        std::fprintf(stderr, "open URL: could not start %s: %s\n", program.c_str(),
                     std::strerror(err));
        promise.set_value(false);
        return result;
    }
    // The opener may take a while (a browser starting): wait for it off the frame loop.
    std::thread([pid, program, p = std::move(promise)]() mutable {
        int status = 0;
        pid_t r;
        do {
            r = waitpid(pid, &status, 0);
        } while (r < 0 && errno == EINTR);
        const bool ok = r == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ok) {
            if (r == pid && WIFEXITED(status))
                std::fprintf(stderr, "open URL: %s failed with exit status %d\n", program.c_str(),
                             WEXITSTATUS(status));
            else
                std::fprintf(stderr, "open URL: %s did not finish normally\n", program.c_str());
        }
        p.set_value(ok);
    }).detach();
    return result;
}

}  // namespace brumelo
