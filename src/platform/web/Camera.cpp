// The browser's camera: getUserMedia's stream in a hidden video element, whose newest frame is
// uploaded straight into the background's texture (no copy through the program's memory).
#include "platform/Camera.h"

#include "gles1/Gles1Layer.h"
#include "platform/web/Browser.h"

namespace brumelo {
namespace {

class BrowserCamera final : public Camera {
  public:
    BrowserCamera() { brumelo_camera_start(); }
    ~BrowserCamera() override { brumelo_camera_stop(); }

    // Frames never pass through memory here: see frameSize and uploadFrame.
    bool takeFrame(Frame&) override { return false; }

    bool newFrameSize(int& width, int& height) override {
        const int size = brumelo_camera_new_frame();
        if (size <= 0) return false;
        width = size >> 16;
        height = size & 0xffff;
        return true;
    }
    bool uploadFrame(unsigned texture) override {
        // The upload goes to WebGL directly: draws the GL layer holds back must not see it.
        gles1::sendDraws();
        return brumelo_camera_upload(texture) != 0;
    }

    std::string failure() override {
        if (brumelo_camera_state() != 2) return "";
        char text[256] = {};
        brumelo_camera_error(text, static_cast<int>(sizeof text));
        return text;
    }
    bool waitingForPermission() const override { return brumelo_camera_state() == 0; }
};

}  // namespace

std::unique_ptr<Camera> Camera::open(const Options&, std::string*) {
    return std::make_unique<BrowserCamera>();
}

}  // namespace brumelo
