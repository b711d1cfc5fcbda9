// The picker is a file input accepting pictures (on phones it offers the camera and the photo
// library). The browser reads and decodes the chosen file first; poll() then answers with the
// file's path in the program's file system.

#include "platform/FileChooser.h"

#include "platform/web/Browser.h"

namespace brumelo {

struct FileChooser::Impl {
    Callback done;
    Options options;
    bool waiting = false;

    void finish(const std::optional<std::string>& path) {
        waiting = false;
        // The callback may open the picker again or let this one go.
        Callback callback = done;
        if (callback) callback(path);
    }
};

FileChooser::FileChooser(Callback done) : FileChooser(std::move(done), Options{}) {}

FileChooser::FileChooser(Callback done, Options options) : impl_(std::make_unique<Impl>()) {
    impl_->done = std::move(done);
    impl_->options = std::move(options);
}

FileChooser::~FileChooser() {
    if (impl_->waiting) brumelo_picker_close();
}

void FileChooser::open(const std::string&) {
    impl_->waiting = true;
    if (impl_->options.interactive) brumelo_picker_open(impl_->options.keepShorterSide);
}

void FileChooser::poll() {
    if (!impl_->waiting) return;
    char path[1024] = {0};
    const int state = brumelo_picker_poll(path, sizeof path);
    if (state == 2)
        impl_->finish(std::string(path));
    else if (state == 3)
        impl_->finish(std::nullopt);
}

void FileChooser::answer(const std::optional<std::string>& path) {
    if (impl_->waiting) brumelo_picker_close();
    impl_->finish(path);
}

bool FileChooser::waiting() const { return impl_->waiting; }

}  // namespace brumelo
