// The desktop's camera: a GStreamer pipeline ending in an appsink that hands out RGBA frames.
#include "platform/Camera.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <chrono>
#include <cstring>
#include <mutex>

namespace brumelo {
namespace {

using Clock = std::chrono::steady_clock;

// A camera that sends nothing for this long has stalled; the first picture may take longer.
constexpr auto kStall = std::chrono::seconds(5);
constexpr auto kFirstFrame = std::chrono::seconds(15);
// A paced run waits this long for the next frame before calling the source stalled.
constexpr GstClockTime kPacedWait = 20 * GST_SECOND;
// Frames beyond this on either side are scaled down: copying 4K frames would cost the frame loop.
constexpr const char* kTail =
    " ! videoconvert ! videoscale ! video/x-raw,format=RGBA,width=[1,1920],height=[1,1920]"
    " ! appsink name=brumelo_sink";

std::string errorText(GError* error) {
    std::string text = error && error->message ? error->message : "unknown error";
    if (error) g_error_free(error);
    return text;
}

// Copies a sample's RGBA rows; false when it holds no usable frame.
bool copySample(GstSample* sample, Camera::Frame& out) {
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) return false;
    if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_RGBA) return false;
    const int width = GST_VIDEO_INFO_WIDTH(&info), height = GST_VIDEO_INFO_HEIGHT(&info);
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    GstMapInfo map;
    if (width <= 0 || height <= 0 || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
    const std::size_t offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
    const bool fits = stride >= static_cast<int>(row) &&
                      offset + static_cast<std::size_t>(stride) * (height - 1) + row <= map.size;
    if (fits) {
        out.width = width;
        out.height = height;
        out.rgba.resize(row * height);
        for (int y = 0; y < height; ++y)
            std::memcpy(out.rgba.data() + row * y, map.data + offset + static_cast<std::size_t>(stride) * y,
                        row);
    }
    gst_buffer_unmap(buffer, &map);
    return fits;
}

class GstCamera final : public Camera {
  public:
    GstCamera(GstElement* pipeline, GstElement* sink, bool paced)
        : pipeline_(pipeline), sink_(GST_APP_SINK(sink)), paced_(paced), started_(Clock::now()) {
        bus_ = gst_element_get_bus(pipeline_);
        // Errors and the end of the stream are noted on the thread that posts them, so no
        // message crosses threads.
        gst_bus_set_sync_handler(bus_, &GstCamera::onMessage, this, nullptr);
        if (paced_) {
            // The source waits for each pull: one frame of the source per frame of the program.
            g_object_set(sink, "sync", FALSE, "max-buffers", 1u, "drop", FALSE, nullptr);
        } else {
            g_object_set(sink, "sync", TRUE, "max-buffers", 1u, "drop", TRUE, nullptr);
            GstAppSinkCallbacks callbacks{};
            callbacks.new_sample = &GstCamera::onSample;
            gst_app_sink_set_callbacks(sink_, &callbacks, this, nullptr);
        }
    }

    ~GstCamera() override {
        // Once in NULL no streaming thread runs, so no callback can follow.
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_bus_set_sync_handler(bus_, nullptr, nullptr, nullptr);
        gst_object_unref(bus_);
        gst_object_unref(sink_);
        gst_object_unref(pipeline_);
    }

    bool start(std::string* whyNot) {
        if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE)
            return true;
        const std::string why = failure();
        if (whyNot) *whyNot = why.empty() ? "the camera could not be started" : why;
        return false;
    }

    bool takeFrame(Frame& frame) override {
        if (!failure_.empty()) return false;
        if (paced_) {
            GstSample* sample = gst_app_sink_try_pull_sample(sink_, kPacedWait);
            if (!sample) {
                pollBus();
                if (failure_.empty())
                    failure_ = gst_app_sink_is_eos(sink_) ? "the camera's stream ended"
                                                          : "the camera stopped sending pictures";
                return false;
            }
            const bool ok = copySample(sample, frame);
            gst_sample_unref(sample);
            return ok;
        }
        std::lock_guard<std::mutex> guard(mutex_);
        if (!fresh_) return false;
        fresh_ = false;
        std::swap(frame, newest_);
        return true;
    }

    std::string failure() override {
        if (failure_.empty()) pollBus();
        if (failure_.empty() && !paced_) {
            const auto now = Clock::now();
            std::lock_guard<std::mutex> guard(mutex_);
            if (frames_ == 0 ? now - started_ > kFirstFrame : now - lastFrame_ > kStall)
                failure_ = "the camera stopped sending pictures";
        }
        return failure_;
    }

    void setVisible(bool visible) override {
        if (visible == visible_ || !failure_.empty()) return;
        visible_ = visible;
        // In NULL the device is closed and no streaming thread runs.
        if (!visible) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            return;
        }
        {
            std::lock_guard<std::mutex> guard(mutex_);
            fresh_ = false;
            frames_ = 0;
            started_ = Clock::now();
        }
        if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE &&
            failure().empty())
            failure_ = "the camera could not be started again";
    }

  private:
    static GstFlowReturn onSample(GstAppSink* sink, gpointer self) {
        auto* camera = static_cast<GstCamera*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return GST_FLOW_ERROR;
        {
            // The newest frame replaces any the frame loop has not taken yet.
            std::lock_guard<std::mutex> guard(camera->mutex_);
            if (copySample(sample, camera->newest_)) {
                camera->fresh_ = true;
                camera->frames_ += 1;
                camera->lastFrame_ = Clock::now();
            }
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    static GstBusSyncReply onMessage(GstBus*, GstMessage* message, gpointer self) {
        auto* camera = static_cast<GstCamera*>(self);
        std::string what;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            what = "the camera's stream ended";
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            what = errorText(error);
        }
        if (!what.empty()) {
            std::lock_guard<std::mutex> guard(camera->mutex_);
            if (camera->posted_.empty()) camera->posted_ = what;
        }
        return GST_BUS_DROP;
    }

    void pollBus() {
        std::lock_guard<std::mutex> guard(mutex_);
        if (failure_.empty()) failure_ = posted_;
    }

    GstElement* pipeline_;
    GstAppSink* sink_;
    GstBus* bus_ = nullptr;
    const bool paced_;
    bool visible_ = true;
    std::string failure_;  // the frame loop's alone

    std::mutex mutex_;  // guards what follows, shared with the streaming thread
    Frame newest_;
    bool fresh_ = false;
    std::string posted_;  // the first error or end of stream the pipeline posted
    long frames_ = 0;
    Clock::time_point started_, lastFrame_;
};

}  // namespace

std::unique_ptr<Camera> Camera::open(const Options& options, std::string* whyNot) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { gst_init(nullptr, nullptr); });

    // A camera facing the person shows them as in a mirror; any other source as it comes.
    const bool device = options.pipeline.empty();
    const std::string description =
        // Many webcams give their larger sizes only as JPEG frames: decodebin takes either.
        device ? std::string("v4l2src name=brumelo_source ! decodebin ! videoconvert"
                             " ! videoflip method=horizontal-flip") +
                     kTail
               : options.pipeline + kTail;
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline || error) {
        if (whyNot) *whyNot = "bad camera pipeline: " + errorText(error);
        if (pipeline) gst_object_unref(pipeline);
        return nullptr;
    }
    if (device && !options.device.empty()) {
        GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "brumelo_source");
        if (source) {
            g_object_set(source, "device", options.device.c_str(), nullptr);
            gst_object_unref(source);
        }
    }
    GstElement* sink = GST_IS_BIN(pipeline) ? gst_bin_get_by_name(GST_BIN(pipeline), "brumelo_sink")
                                            : nullptr;
    if (!sink) {
        if (whyNot) *whyNot = "bad camera pipeline: it has no picture output";
        gst_object_unref(pipeline);
        return nullptr;
    }
    auto camera = std::make_unique<GstCamera>(pipeline, sink, options.paced);
    if (!camera->start(whyNot)) return nullptr;
    return camera;
}

}  // namespace brumelo
