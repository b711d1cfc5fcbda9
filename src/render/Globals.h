#pragma once

#include <GLES/gl.h>

#include <array>
#include <memory>

#include "platform/InputMapping.h"

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

// The screen's frame buffer (off-screen, the pane's size) and its colour render buffer.
extern GLuint viewFramebuffer;
extern GLuint viewRenderbuffer;

// The main viewport and the others the view keeps.
extern std::shared_ptr<Viewport> viewport1, viewport2, viewport3, viewportMenu, activeViewport;

// Frames drawn since start.
extern int loops;

// Pixels of the screen frame buffer per point, the world's unit: 1 draws the pane's points on
// as many pixels, 2 or 3 draw them crisp on a dense screen. Sizes handed to GL in pixels
// (glPointSize, glLineWidth, glViewport, read-back) are multiplied by it.
extern float contentScaleFactor;

// The screen in points: what screen-sized pictures (the fogged view, the remembered writing,
// a picture made to cover the screen) are made for. The pane's size (below).
inline float paneWidthPoints();
inline float paneHeightPoints();

// Pixels of the screen frame buffer along that many points.
int screenPixels(double points);

// The pane: the screen in points, the world's units (320 x 480 on the phone). The world's
// origin is its centre, so x runs over +-paneHalfWidth() and y over +-paneHalfHeight(). Only
// the view changes it (EAGLView::setPane), remaking what has its size.
const brumelo::PaneSize& paneSize();
void setPaneSize(brumelo::PaneSize pane);
inline double paneHalfWidth() { return paneSize().width / 2; }
inline double paneHalfHeight() { return paneSize().height / 2; }
// How much a picture made to cover the phone's 320 x 480 grows to cover the pane (1 there).
float paneCoverScale();

inline float paneWidthPoints() { return static_cast<float>(paneSize().width); }
inline float paneHeightPoints() { return static_cast<float>(paneSize().height); }
