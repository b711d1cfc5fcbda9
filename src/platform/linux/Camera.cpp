// The desktop's camera: a GStreamer pipeline ending in an appsink that hands out RGBA frames.
#include "platform/Camera.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

#if BRUMELO_HAVE_PORTAL
#include <gio/gio.h>
#include <libportal/portal.h>
#endif

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
    // It ends a sentence of ours.
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text;
}

// A sample's buffer mapped for reading for as long as a frame points into it.
struct MappedSample {
    GstSample* sample = nullptr;
    GstBuffer* buffer = nullptr;
    GstMapInfo map{};
    bool mapped = false;
    MappedSample() = default;
    MappedSample(const MappedSample&) = delete;
    MappedSample& operator=(const MappedSample&) = delete;
    ~MappedSample() {
        if (mapped) gst_buffer_unmap(buffer, &map);
        if (sample) gst_sample_unref(sample);
    }
};

// The sample's RGBA rows in place, the sample kept (its reference taken over) for as long as the
// frame holds it; false, the sample let go, when it holds no usable frame.
bool holdSample(GstSample* sample, Camera::Frame& out) {
    auto held = std::make_shared<MappedSample>();
    held->sample = sample;
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    held->buffer = gst_sample_get_buffer(sample);
    if (!caps || !held->buffer || !gst_video_info_from_caps(&info, caps)) return false;
    if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_RGBA) return false;
    const int width = GST_VIDEO_INFO_WIDTH(&info), height = GST_VIDEO_INFO_HEIGHT(&info);
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    if (width <= 0 || height <= 0 || stride < static_cast<int>(row)) return false;
    held->mapped = gst_buffer_map(held->buffer, &held->map, GST_MAP_READ);
    const std::size_t offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
    if (!held->mapped ||
        offset + static_cast<std::size_t>(stride) * (height - 1) + row > held->map.size)
        return false;
    out.width = width;
    out.height = height;
    out.stride = static_cast<std::size_t>(stride);
    out.rgba = held->map.data + offset;
    out.hold = std::move(held);
    return true;
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
            return holdSample(sample, frame);
        }
        // The frame given back is let go here, outside the lock.
        Frame given = std::move(frame);
        std::lock_guard<std::mutex> guard(mutex_);
        if (!fresh_) return false;
        fresh_ = false;
        frame = std::move(newest_);
        newest_ = Frame{};
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
        Frame frame;
        if (!holdSample(sample, frame)) return GST_FLOW_OK;
        {
            // The newest frame replaces any the frame loop has not taken yet, which is let go
            // outside the lock.
            std::lock_guard<std::mutex> guard(camera->mutex_);
            std::swap(frame, camera->newest_);
            camera->fresh_ = true;
            camera->frames_ += 1;
            camera->lastFrame_ = Clock::now();
        }
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

// The pipeline for a source description (a camera's shown as in a mirror), started; nullptr with
// a reason when it cannot start.
std::unique_ptr<Camera> openPipeline(const std::string& source, bool mirror,
                                     const std::string& device, bool paced, std::string* whyNot) {
    // Many webcams give their larger sizes only as JPEG frames: decodebin takes either.
    const std::string description =
        mirror ? source + " ! decodebin ! videoconvert ! videoflip method=horizontal-flip" + kTail
               : source + kTail;
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline || error) {
        if (whyNot) *whyNot = "bad camera pipeline: " + errorText(error);
        if (pipeline) gst_object_unref(pipeline);
        return nullptr;
    }
    if (!device.empty()) {
        GstElement* element = gst_bin_get_by_name(GST_BIN(pipeline), "brumelo_source");
        if (element) {
            g_object_set(element, "device", device.c_str(), nullptr);
            gst_object_unref(element);
        }
    }
    GstElement* sink =
        GST_IS_BIN(pipeline) ? gst_bin_get_by_name(GST_BIN(pipeline), "brumelo_sink") : nullptr;
    if (!sink) {
        if (whyNot) *whyNot = "bad camera pipeline: it has no picture output";
        gst_object_unref(pipeline);
        return nullptr;
    }
    auto camera = std::make_unique<GstCamera>(pipeline, sink, paced);
    if (!camera->start(whyNot)) return nullptr;
    return camera;
}

std::unique_ptr<Camera> openDevice(const Camera::Options& options, std::string* whyNot) {
    return openPipeline("v4l2src name=brumelo_source", true, options.device, options.paced,
                        whyNot);
}

#if BRUMELO_HAVE_PORTAL
// The camera through the desktop's camera portal (sandboxed or not): it asks the person, then
// hands out a PipeWire remote that shows only cameras. Until the answer no frame is due; a
// portal that fails falls back quietly to the camera device, a refusal is said.
class PortalCamera final : public Camera {
  public:
    // Takes the portal.
    PortalCamera(XdpPortal* portal, Options options)
        : portal_(portal), options_(std::move(options)), request_(new Request{this}) {
        request_->cancellable = g_cancellable_new();
        xdp_portal_access_camera(portal_, nullptr, XDP_CAMERA_FLAG_NONE, request_->cancellable,
                                 &PortalCamera::answered, request_);
    }

    ~PortalCamera() override {
        if (request_) {
            // The portal's callback still comes, and frees it.
            request_->owner = nullptr;
            g_cancellable_cancel(request_->cancellable);
        }
        inner_.reset();
        if (fd_ >= 0) ::close(fd_);
        g_object_unref(portal_);
    }

    bool takeFrame(Frame& frame) override {
        // The portal answers through GLib's main context: a few turns a frame, never blocking.
        for (int i = 0; request_ && i < 16 && g_main_context_iteration(nullptr, FALSE); ++i) {
        }
        return inner_ && inner_->takeFrame(frame);
    }
    std::string failure() override {
        if (!failure_.empty() || !inner_) return failure_;
        return inner_->failure();
    }
    bool waitingForPermission() const override { return request_ != nullptr; }
    void setVisible(bool visible) override {
        visible_ = visible;
        if (inner_) inner_->setVisible(visible);
    }

  private:
    struct Request {
        PortalCamera* owner;
        GCancellable* cancellable = nullptr;
    };

    static void answered(GObject* source, GAsyncResult* result, gpointer data) {
        auto* request = static_cast<Request*>(data);
        GError* error = nullptr;
        const bool allowed = xdp_portal_access_camera_finish(XDP_PORTAL(source), result, &error);
        PortalCamera* owner = request->owner;
        g_object_unref(request->cancellable);
        delete request;
        if (owner) {
            owner->request_ = nullptr;
            owner->start(allowed, error);
        }
        if (error) g_error_free(error);
    }

    void start(bool allowed, const GError* error) {
        if (!allowed && error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
            failure_ = "the camera was not allowed";
            return;
        }
        std::string why;
        if (allowed) {
            fd_ = xdp_portal_open_pipewire_remote_for_camera(portal_);
            if (fd_ >= 0)
                inner_ = openPipeline("pipewiresrc name=brumelo_source fd=" + std::to_string(fd_),
                                      true, "", options_.paced, &why);
            if (!inner_)
                std::fprintf(stderr,
                             "camera portal: no picture through PipeWire (%s); the camera "
                             "device is tried\n",
                             fd_ < 0 ? "no remote" : why.c_str());
        }
        // A portal that cannot give a camera is no answer: the device is tried as without it.
        if (!inner_) inner_ = openDevice(options_, &why);
        if (!inner_)
            failure_ = why.empty() ? "no camera was found" : why;
        else if (!visible_)
            inner_->setVisible(false);
    }

    XdpPortal* portal_;
    const Options options_;
    Request* request_;
    std::unique_ptr<Camera> inner_;
    int fd_ = -1;
    bool visible_ = true;  // the answer may come while the window is hidden
    std::string failure_;
};

// A portal on the session bus that knows a camera, or nullptr. Asked here rather than through
// libportal, which never answers without a bus and warns where no portal runs: both are normal.
XdpPortal* cameraPortal() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        if (error) g_error_free(error);
        return nullptr;
    }
    GVariant* answer = g_dbus_connection_call_sync(
        bus, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
        "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.freedesktop.portal.Camera", "IsCameraPresent"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    g_object_unref(bus);
    bool present = false;
    if (answer) {
        GVariant* value = nullptr;
        g_variant_get(answer, "(v)", &value);
        present =
            g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
        g_variant_unref(value);
        g_variant_unref(answer);
    }
    if (error) g_error_free(error);
    return present ? xdp_portal_new() : nullptr;
}
#endif

}  // namespace

std::unique_ptr<Camera> Camera::open(const Options& options, std::string* whyNot) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { gst_init(nullptr, nullptr); });
    // Any other source is shown as it comes.
    if (!options.pipeline.empty())
        return openPipeline(options.pipeline, false, "", options.paced, whyNot);
#if BRUMELO_HAVE_PORTAL
    if (options.device.empty())
        if (XdpPortal* portal = cameraPortal())
            return std::make_unique<PortalCamera>(portal, options);
#endif
    return openDevice(options, whyNot);
}

}  // namespace brumelo
