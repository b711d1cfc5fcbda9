#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brumelo {

// Asks the person for a picture file without holding up the frame loop: the desktop portal's
// file chooser, else zenity or kdialog in a child process. poll() must be called once a frame;
// the answer comes from there. Portable header.
class FileChooser {
  public:
    // A chosen file's path, or nullopt when the person cancelled or no chooser could be shown.
    using Callback = std::function<void(const std::optional<std::string>& path)>;

    struct Options {
        // false: no dialog at all; the chooser waits for answer() (headless runs, scripts).
        bool interactive = true;
        bool usePortal = true;
        // Where the chosen picture is decoded before the answer (browsers): a larger one comes
        // down to this many pixels on its shorter side; 0 keeps it whole.
        int keepShorterSide = 0;
        // Fallback commands, tried in order; each prints the chosen path and exits 0, or exits
        // 1 when cancelled. Empty: zenity, then kdialog, when a display is there.
        std::vector<std::vector<std::string>> commands;
    };

    explicit FileChooser(Callback done);
    FileChooser(Callback done, Options options);
    // Closes a dialog still open; the callback is not called then.
    ~FileChooser();
    FileChooser(const FileChooser&) = delete;
    FileChooser& operator=(const FileChooser&) = delete;

    void open(const std::string& title);
    void poll();
    // Answers in place of the person; the callback runs now.
    void answer(const std::optional<std::string>& path);
    bool waiting() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace brumelo
