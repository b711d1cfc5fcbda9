#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace brumelo {

// A live picture source: a camera, or on the desktop any GStreamer source description. Frames
// arrive on the source's own thread; the frame loop takes only the newest, so nothing queues up.
// Portable header.
class Camera {
  public:
    struct Options {
        std::string device;    // a camera device (/dev/video0); empty: the first one found
        std::string pipeline;  // a source description in place of the device
        // Each takeFrame() waits for the source's next frame, so that a scripted run repeats.
        bool paced = false;
    };

    // RGBA rows, top row first, `stride` bytes apart, read in place from the source's buffer,
    // which `hold` keeps (let it go once uploaded: a camera has few buffers). Already mirrored
    // where the camera faces the person.
    struct Frame {
        int width = 0, height = 0;
        std::size_t stride = 0;
        const std::uint8_t* rgba = nullptr;
        std::shared_ptr<const void> hold;
    };

    virtual ~Camera() = default;

    // The newest frame since the last call into `frame`; false when no new one came.
    virtual bool takeFrame(Frame& frame) = 0;
    // Why the source stopped (unplugged, refused, failed, stalled) in one sentence; empty while
    // it runs.
    virtual std::string failure() = 0;
    // Where frames go straight into a GL texture (a browser's video) instead of takeFrame():
    // the size of a frame not uploaded yet, then uploadFrame() puts it at the texture's origin
    // (the texture at least that large).
    virtual bool newFrameSize(int& width, int& height) {
        (void)width;
        (void)height;
        return false;
    }
    virtual bool uploadFrame(unsigned texture) {
        (void)texture;
        return false;
    }
    // Whether it still waits for the person to allow it (browsers): no frame is due then.
    virtual bool waitingForPermission() const { return false; }
    // The page or window was hidden (false) or shown again: a camera is let go while hidden.
    virtual void setVisible(bool visible) { (void)visible; }

    // nullptr with a reason when the source cannot start at all; later failures come from
    // failure().
    static std::unique_ptr<Camera> open(const Options& options, std::string* whyNot = nullptr);
};

}  // namespace brumelo
