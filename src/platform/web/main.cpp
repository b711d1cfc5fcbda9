// The browser build's start: options from the page's address (pre.js), the data folder from
// IndexedDB, and the frame loop on the browser's animation frames: 50 frames a second, held
// while the page is hidden. With a script the run is played frame by frame, one frame each
// turn, as a headless run plays it, and the page hears when it is over.

#include <emscripten/emscripten.h>
#include <emscripten/heap.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/AlertView.h"
#include "app/BackgroundPictures.h"
#include "app/Preferences.h"
#include "app/Program.h"
#include "app/ProgramOptions.h"
#include "app/Script.h"
#include "app/TenzoAppDelegate.h"
#include "audio/GBMusicTrack.h"
#include "audio/MicrophoneLevel.h"
#include "gles1/Gles1Layer.h"
#include "physics/Knode.h"
#include "platform/GLExtensions.h"
#include "platform/web/Browser.h"
#include "render/Globals.h"
#include "steam/Droplet.h"
#include "steam/DropletsScreen.h"

namespace {

struct Run {
    brumelo::Program* program = nullptr;
    brumelo::Settings settings;
    bool scripted = false;  // played frame by frame
    int stopAfter = 0;      // a timed run: frames before it ends (0: never)
    bool finished = false;
    int shown = 0;
};

Run run;

std::string deviceModel() {
    // Only the iPod touch is told apart, as the phone program did.
    return brumelo_is_ipod() ? "iPod Touch" : "Web browser";
}

void append(std::string& json, const char* key, double value, bool comma = true) {
    char text[96];
    std::snprintf(text, sizeof text, "\"%s\":%.6g%s", key, value, comma ? "," : "");
    json += text;
}

// What a test wants to know at the end of a run, as JSON.
std::string statusJson() {
    std::string json = "{";
    append(json, "loops", loops);
    append(json, "level", audioLevels[0]);
    append(json, "peak", peakLevels[0]);
    // What the steam screen sees of the microphone, and the silence floor measured at start.
    append(json, "blow", brumelo::microphoneLevel().heldLevel());
    append(json, "floor", brumelo::microphoneLevel().silenceFloor());
    json += "\"tracks\":[";
    bool first = true;
    for (const auto* track : {&music2, &music3, &music4, &music5}) {
        if (!first) json += ",";
        first = false;
        json += *track ? "{\"finished\":" + std::to_string((*track)->finishedNotifications()) + "}"
                       : "null";
    }
    json += "],";
    AlertView* alert = AlertView::visibleAlert();
    json += "\"alert\":\"" + std::string(alert ? alert->title() : "") + "\",";
    json += "\"droplets\":[";
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (app && app->dropletScreen()) {
        first = true;
        for (const auto& d : app->dropletScreen()->droplets()) {
            if (!first) json += ",";
            first = false;
            char point[64];
            std::snprintf(point, sizeof point, "[%.2f,%.2f]", d->data[3], d->data[7]);
            json += point;
        }
        const _Vector3f g = app->dropletScreen()->gravity();
        json += "],\"gravity\":[" + std::to_string(g.x) + "," + std::to_string(g.y) + "],";
    } else {
        json += "],";
    }
    int width = 0, height = 0;
    emscripten_get_canvas_element_size("#canvas", &width, &height);
    json += "\"canvas\":[" + std::to_string(width) + "," + std::to_string(height) + "],";
    append(json, "scale", contentScaleFactor);
    // The program's memory only grows: what the largest picture it took cost stays in it.
    append(json, "memory", static_cast<double>(emscripten_get_heap_size()));
    append(json, "storage", brumelo_storage_works(), false);
    return json + "}";
}

void finish(int status) {
    run.finished = true;
    emscripten_cancel_main_loop();
    if (!run.settings.screenshotFile.empty())
        run.program->writeScreenshot(run.settings.screenshotFile);
    brumelo_persist();
    brumelo_run_finished(run.program->framesDrawn(), statusJson().c_str());
    std::fprintf(stderr, "brumelo: run over after %d frames (status %d)\n",
                 run.program->framesDrawn(), status);
}

void tick() {
    if (run.finished) return;
    // Nothing is drawn until the browser gives the context back.
    if (emscripten_is_webgl_context_lost(emscripten_webgl_get_current_context())) return;
    brumelo::Program& program = *run.program;
    if (run.scripted) {
        // Pictures a script picks are decoded by the browser first, so that it picks them on
        // the frame it names; and the sounds are in before its first touch, as at the desktop.
        if (brumelo_decodes_pending() > 0) return;
        if (!TenzoAppDelegate::getInstance()->soundStarted()) return;
        program.stepFrame();
    } else {
        program.stepWindow();
    }
    // The browser shows the canvas when this turn returns, and a report reads it before that.
    brumelo::gles1::sendDraws();
    if (program.framesDrawn() != run.shown) {
        run.shown = program.framesDrawn();
        brumelo_frame_shown(run.shown);
        // A written background reaches IndexedDB within a fifth of a second (looking reads
        // the folder, a tenth of a frame's work: not every frame).
        if (run.shown % 10 == 0) brumelo_persist();
    }
    // The canvas's frame buffer is left bound between turns: WebKit, keeping a canvas's pixels
    // (capture=), copies them into whatever frame buffer is bound when it shows the canvas, and
    // the screen's would lose every frame drawn into it.
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, 0);
    const int last = run.scripted ? run.settings.frames : run.stopAfter;
    if (program.quit() || (last > 0 && program.framesDrawn() >= last)) finish(0);
}

EM_BOOL onVisibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
    if (run.finished || run.scripted) return EM_FALSE;
    if (e->hidden) {
        emscripten_pause_main_loop();
        brumelo_persist();
    } else {
        run.program->restartClock();
        emscripten_resume_main_loop();
    }
    return EM_FALSE;
}

}  // namespace

// The wipe sounds are fetched after launch, so that the first frame waits for none of them; here
// (once all have arrived or failed) the sound starts.
extern "C" EMSCRIPTEN_KEEPALIVE void brumelo_sounds_arrived() {
    if (TenzoAppDelegate* app = TenzoAppDelegate::getInstance(); app && !run.finished)
        app->startSound();
}

// The glass look's whole photo, fetched after launch too: it replaces the stand-in shown meanwhile.
extern "C" EMSCRIPTEN_KEEPALIVE void brumelo_glass_picture_arrived() {
    if (TenzoAppDelegate::getInstance() && !run.finished) brumelo::glassPictureArrived();
}

// The shipped background, which a first visit in the glass look fetches after launch too.
extern "C" EMSCRIPTEN_KEEPALIVE void brumelo_shipped_picture_arrived() {
    if (TenzoAppDelegate::getInstance() && !run.finished) brumelo::shippedPictureArrived();
}

extern "C" EMSCRIPTEN_KEEPALIVE void brumelo_storage_failed(const char* why) {
    std::fprintf(stderr, "storage: not kept for the next visit: %s\n", why);
    AlertView::showAndKeep(std::make_shared<AlertView>(
        "Not kept",
        std::string("The browser did not store Brumelo's picture for your next visit (") + why +
            "). It shows for this visit only.",
        nullptr, "Dismiss", std::vector<std::string>{}));
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    brumelo::ParsedOptions parsed = brumelo::parseOptions(args);
    if (parsed.action != brumelo::ParsedOptions::Action::Run) {
        brumelo_say(parsed.text.c_str());
        return parsed.action == brumelo::ParsedOptions::Action::Fail ? 2 : 0;
    }
    run.settings = parsed.settings;
    brumelo::Settings& s = run.settings;
    s.headless = false;
    s.canQuit = false;
    s.dataDir = "/data";
    s.resourceDir = "/resources";
    s.soundLater = true;
    s.shippedPictureLater = true;
    // The choices kept between visits live with the data folder; the address's over them are
    // remembered for next time.
    s.settingsFile = "/data/settings.ini";
    brumelo::applyPreferences(brumelo::loadPreferences(s.settingsFile), s);
    brumelo::applyPreferences(parsed.given, s);
    if (!parsed.given.empty()) brumelo::savePreferences(s.settingsFile, s);
    if (s.deviceModel.empty()) s.deviceModel = deviceModel();
    // A script is played frame by frame unless the page asks for it in real time (live=1);
    // a timed run (stop-after=N frames) ends and reports like a scripted one.
    run.scripted = !s.scriptFile.empty() && brumelo_page_number("live") == 0;
    run.stopAfter = static_cast<int>(brumelo_page_number("stop-after"));

    // No threads here: the sound tracks refill from the frame loop.
    GBMusicTrack::setFeederThreads(false);
    run.program = new brumelo::Program(s);
    if (const int status = run.program->launch()) {
        brumelo_say("Brumelo could not start; the browser's console says why.");
        return status;
    }
    if (run.scripted) {
        // Decoded as the picker would.
        for (const brumelo::ScriptEvent& e : brumelo::loadScript(s.scriptFile))
            if (e.kind == brumelo::ScriptEvent::Kind::Pick)
                brumelo_decode_file(e.path.c_str(), brumelo::pickedPictureShorterSide());
    }
    brumelo_persist();
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, &onVisibility);
    // The browser's animation frames: the loop itself keeps to 50 frames a second.
    emscripten_set_main_loop(&tick, 0, 0);
    return 0;
}
