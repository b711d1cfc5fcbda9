#pragma once

#include <string>

namespace brumelo {

// The live background: a camera's newest frame behind the steam in place of the still picture,
// which stays stored and comes back when the camera stops. Only ever started on request (the
// menu, the C key, --camera or --camera-pipeline), never by itself.

// Opens the camera settings() names; a camera that cannot start says why in one line and an
// alert, and the still picture stays.
void startLiveCamera();
// Back to the still picture; the camera is let go.
void stopLiveCamera();
void toggleLiveCamera();
bool liveCameraOn();
// Once a frame, before drawing: the newest frame into the background (a headless run waits for
// the source's next one); a camera that failed meanwhile is stopped and says why.
void pollLiveCamera();
// The page or window was hidden or shown again: the camera is let go while hidden.
void setLiveCameraVisible(bool visible);

// A red dot at the top left of the picture while the camera is on, drawn over the presented
// window (never into the picture, so saved pictures stay clean); in window pixels as
// drawLevelMeter's. The caller's GL state is left as it was.
void drawCameraMark(int screenX, int screenY, int screenWidth, int screenHeight, int windowWidth,
                    int windowHeight);

}  // namespace brumelo
