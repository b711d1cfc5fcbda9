#include "platform/FileChooser.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if BRUMELO_HAVE_PORTAL
#include <gio/gio.h>
#include <libportal/portal.h>
#endif

extern char** environ;

namespace brumelo {

namespace {

bool haveDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

bool onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string dirs = path;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

struct FileChooser::Impl {
    Callback done;
    Options options;
    std::string title;
    bool waiting = false;
    std::size_t nextCommand = 0;
    std::vector<std::vector<std::string>> commands;

    pid_t child = -1;
    int childOutput = -1;
    std::string output;

#if BRUMELO_HAVE_PORTAL
    // Outlives this object when the portal answers late: the portal's callback frees it.
    struct PortalRequest {
        Impl* owner;
        GCancellable* cancellable;
    };
    XdpPortal* portal = nullptr;
    PortalRequest* request = nullptr;
#endif

    void finish(const std::optional<std::string>& path) {
        waiting = false;
        // The callback may destroy the chooser: nothing of this object is touched after it.
        Callback callback = done;
        callback(path);
    }

    void startCommandOrGiveUp() {
        while (nextCommand < commands.size()) {
            if (startCommand(commands[nextCommand++])) return;
        }
        std::fprintf(stderr, "file chooser: no file chooser could be shown\n");
        finish(std::nullopt);
    }

    bool startCommand(const std::vector<std::string>& command) {
        if (command.empty()) return false;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = command;
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        const int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (err != 0) {
            ::close(fds[0]);
            std::fprintf(stderr, "file chooser: could not start %s: %s\n", argv[0],
                         std::strerror(err));
            return false;
        }
        ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
        child = pid;
        childOutput = fds[0];
        output.clear();
        return true;
    }

    void readChildOutput() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(childOutput, buffer, sizeof buffer);
            if (n > 0) {
                output.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            break;
        }
    }

    void pollChild() {
        if (child < 0) return;
        readChildOutput();
        int status = 0;
        const pid_t r = ::waitpid(child, &status, WNOHANG);
        if (r == 0) return;
        readChildOutput();
        ::close(childOutput);
        childOutput = -1;
        child = -1;
        const int code = (r > 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
            output.pop_back();
        if (code == 0 && !output.empty()) {
            finish(output.substr(0, output.find('\n')));
        } else if (code == 1) {
            finish(std::nullopt);
        } else {
            startCommandOrGiveUp();
        }
    }

    void stopChild() {
        if (child < 0) return;
        ::kill(child, SIGTERM);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        ::close(childOutput);
        childOutput = -1;
        child = -1;
    }

#if BRUMELO_HAVE_PORTAL
    static void portalAnswered(GObject* source, GAsyncResult* result, gpointer data) {
        auto* request = static_cast<PortalRequest*>(data);
        GError* error = nullptr;
        GVariant* answer = xdp_portal_open_file_finish(XDP_PORTAL(source), result, &error);
        Impl* owner = request->owner;
        g_object_unref(request->cancellable);
        delete request;
        if (owner == nullptr) {  // the chooser went away meanwhile
            if (answer) g_variant_unref(answer);
            if (error) g_error_free(error);
            return;
        }
        owner->request = nullptr;
        std::optional<std::string> path;
        bool cancelled = false, failed = false;
        if (answer) {
            const char** uris = nullptr;
            if (g_variant_lookup(answer, "uris", "^a&s", &uris) && uris && uris[0]) {
                if (gchar* file = g_filename_from_uri(uris[0], nullptr, nullptr)) {
                    path = file;
                    g_free(file);
                }
            }
            g_free(uris);
            g_variant_unref(answer);
            if (!path) cancelled = true;
        } else if (error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
            cancelled = true;
        } else {
            std::fprintf(stderr, "file chooser: the desktop portal failed: %s\n",
                         error ? error->message : "no answer");
            failed = true;
        }
        if (error) g_error_free(error);
        if (failed)
            owner->startCommandOrGiveUp();
        else
            owner->finish(cancelled ? std::nullopt : path);
    }

    bool startPortal() {
        // Without a session bus libportal 0.6 never answers: check first.
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!bus) {
            if (error) g_error_free(error);
            return false;
        }
        g_object_unref(bus);
        if (!portal) portal = xdp_portal_new();
        if (!portal) return false;
        GVariantBuilder filters;
        g_variant_builder_init(&filters, G_VARIANT_TYPE("a(sa(us))"));
        g_variant_builder_add_parsed(&filters,
                                     "('Pictures', [(0, '*.png'), (0, '*.jpg'), (0, '*.jpeg'), "
                                     "(1, 'image/png'), (1, 'image/jpeg')])");
        request = new PortalRequest{this, g_cancellable_new()};
        xdp_portal_open_file(portal, nullptr, title.c_str(), g_variant_builder_end(&filters),
                             nullptr, nullptr, XDP_OPEN_FILE_FLAG_NONE, request->cancellable,
                             &Impl::portalAnswered, request);
        return true;
    }

    void stopPortal() {
        if (request) {
            request->owner = nullptr;
            g_cancellable_cancel(request->cancellable);
            request = nullptr;
        }
    }
#endif

    void cancelRunning() {
        stopChild();
#if BRUMELO_HAVE_PORTAL
        stopPortal();
#endif
    }
};

FileChooser::FileChooser(Callback done) : FileChooser(std::move(done), Options{}) {}

FileChooser::FileChooser(Callback done, Options options) : impl_(std::make_unique<Impl>()) {
    impl_->done = std::move(done);
    impl_->options = std::move(options);
}

FileChooser::~FileChooser() {
    impl_->cancelRunning();
#if BRUMELO_HAVE_PORTAL
    if (impl_->portal) g_object_unref(impl_->portal);
#endif
}

void FileChooser::open(const std::string& title) {
    impl_->cancelRunning();
    impl_->title = title;
    impl_->waiting = true;
    if (!impl_->options.interactive) return;
    impl_->commands = impl_->options.commands;
    if (impl_->commands.empty() && haveDisplay()) {
        if (onPath("zenity"))
            impl_->commands.push_back({"zenity", "--file-selection", "--title=" + title,
                                       "--file-filter=Pictures | *.png *.PNG *.jpg *.JPG *.jpeg "
                                       "*.JPEG"});
        if (onPath("kdialog"))
            impl_->commands.push_back({"kdialog", "--title", title, "--getopenfilename", ".",
                                       "*.png *.PNG *.jpg *.JPG *.jpeg *.JPEG|Pictures"});
    }
    impl_->nextCommand = 0;
#if BRUMELO_HAVE_PORTAL
    if (impl_->options.usePortal && impl_->startPortal()) return;
#endif
    impl_->startCommandOrGiveUp();
}

void FileChooser::poll() {
#if BRUMELO_HAVE_PORTAL
    // The portal answers through GLib's main context: a few turns a frame, never blocking.
    for (int i = 0; i < 16 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
#endif
    impl_->pollChild();
}

void FileChooser::answer(const std::optional<std::string>& path) {
    impl_->cancelRunning();
    impl_->finish(path);
}

bool FileChooser::waiting() const { return impl_->waiting; }

}  // namespace brumelo
