#pragma once

// The page's services that html5.h lacks, from library_brumelo.js. Browser build only.

#include <cstddef>
#include <cstdint>

extern "C" {

// Pictures. The browser decodes every PNG and JPEG before the program reads it (as the files
// load, when one is picked, or on request); take answers the pixels of those bytes (malloc'd,
// straight RGBA, upright) or 0 with the reason in error (empty: never decoded).
std::uint8_t* brumelo_decoded_take(const std::uint8_t* data, int size, int* width, int* height,
                                   int* alpha, char* error, int errorSize);
// keepShorterSide: a larger picture is decoded down to this many pixels on its shorter side
// (0: whole), as the picker does.
void brumelo_decode_file(const char* path, int keepShorterSide);
int brumelo_decodes_pending();
// PNG or JPEG bytes (malloc'd) of straight RGBA pixels, 0 on failure.
std::uint8_t* brumelo_encode_image(const std::uint8_t* rgba, int width, int height, int opaque,
                                   int jpeg, double quality, int* size);

// Canvas 2D surfaces; ids are never 0.
int brumelo_canvas_create(int width, int height);
void brumelo_canvas_destroy(int id);
void brumelo_canvas_transform(int id, double a, double b, double c, double d, double e, double f);
void brumelo_canvas_clear(int id, double x, double y, double w, double h);
void brumelo_canvas_fill(int id, double x, double y, double w, double h, double r, double g,
                         double b, double a);
void brumelo_canvas_draw(int id, const std::uint8_t* rgba, int width, int height, int opaque,
                         double x, double y, double w, double h);
void brumelo_canvas_read(int id, std::uint8_t* straightRgba);

// Text.
double brumelo_text_height(const char* text, const char* family, double size, int bold,
                           double width);
void brumelo_text_coverage(const char* text, int width, int height, double boxWidth,
                           double boxHeight, int alignment, const char* family, double size,
                           std::uint8_t* out);
void brumelo_alert_paint(const char* title, const char* message, const char* labels,
                         int cancelIndex, const double* geometry, int count, double scale,
                         int highlighted, int selected, const char* family, double padding,
                         int width, int height, std::uint8_t* premultipliedRgba);

// The microphone.
int brumelo_mic_open();
int brumelo_mic_start();
void brumelo_mic_read(std::int16_t* out, int count);
void brumelo_mic_stop();
void brumelo_camera_start();
void brumelo_camera_stop();
int brumelo_camera_state();
void brumelo_camera_error(char* out, int size);
int brumelo_camera_new_frame();
int brumelo_camera_upload(unsigned texture);

// The page.
double brumelo_page_number(const char* name);
int brumelo_page_has(const char* name);
int brumelo_is_ipod();
void brumelo_install_gesture_hooks();
int brumelo_screen_angle();
// 1 where devicemotion reports the push that holds the device up (the standard's sign:
// Chromium, Firefox), -1 where it reports the pull of gravity (WebKit on iOS).
int brumelo_motion_sign();
void brumelo_canvas_origin(double* x, double* y);
void brumelo_toggle_fullscreen();
void brumelo_say(const char* text);
void brumelo_fail(const char* text);

// The file picker: poll answers 0 idle, 1 open, 2 chosen (path in out), 3 cancelled.
void brumelo_picker_open(int keepShorterSide);
int brumelo_picker_poll(char* out, int size);
void brumelo_picker_close();

// Handing files and links to the person.
int brumelo_offer_file(const std::uint8_t* data, int size, const char* name, const char* mime,
                       char* error, int errorSize);
int brumelo_open_url(const char* url);

// The data folder's copy in IndexedDB.
void brumelo_persist();
int brumelo_storage_works();

// After a lost WebGL context is restored: every texture, frame buffer, render buffer and buffer
// name of the current context names a new, empty object.
void brumelo_gl_renew_names();
// Calls back when the page is left (pagehide).
void brumelo_on_page_hide(void (*callback)(void*), void* data);

// Reports to the page.
void brumelo_frame_shown(int frame);
void brumelo_run_finished(int frames, const char* statusJson);
}
