#pragma once

#include <GLES/gl.h>

#include <array>
#include <memory>

class Texture2D;
class GBMusicTrack;
class SimpleView;
class AudioRecorder;
class Viewport;

// Program-wide state shared by the view, the steam screen, the launch code and the menus.
// Everything here lives on the main thread.

// 0 the steam (with a frame buffer), 1 the default background, 2 and 3 the droplet pictures.
extern std::array<std::shared_ptr<Texture2D>, 4> _textures;

// The four wipe sounds, from the slowest stroke to the fastest.
extern std::shared_ptr<GBMusicTrack> music2, music3, music4, music5;

extern std::shared_ptr<SimpleView> simpleViewGame;
extern std::shared_ptr<AudioRecorder> audioRecorder;

// Microphone levels, written each frame: element 0 is the first channel, linear 0..1.
extern float audioLevels[4];
extern float peakLevels[4];

extern bool fingerDown;

// The screen's frame buffer (off-screen, 320 x 480) and its colour render buffer.
extern GLuint viewFramebuffer;
extern GLuint viewRenderbuffer;

// The main viewport and the others the view keeps.
extern std::shared_ptr<Viewport> viewport1, viewport2, viewport3, viewportMenu, activeViewport;

// Frames drawn since start.
extern int loops;

// Pixels of the screen frame buffer per point, the world's unit: 1 draws the 320 x 480 points on
// as many pixels, 2 or 3 draw them crisp on a dense screen. Sizes handed to GL in pixels
// (glPointSize, glLineWidth, glViewport, read-back) are multiplied by it.
extern float contentScaleFactor;

// The screen in points: what screen-sized pictures (the fogged view, the remembered writing,
// a picture made to cover the screen) are made for.
inline float paneWidthPoints() { return 320.0f; }
inline float paneHeightPoints() { return 480.0f; }

// Pixels of the screen frame buffer along that many points.
int screenPixels(double points);
