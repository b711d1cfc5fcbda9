#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "physics/Vector3f.h"

class Knode;
class GBMusicTrack;
class DropletsScreen;

// One wiping stroke across the steam (a finger's or a running droplet's): each position becomes
// a chain of small anchored marks that the screen burns into the steam layer and then drops.
// A finger track with sound also plays wipe sounds by stroke speed and now and then spawns a
// droplet along a long stroke.
// Draws marks as points `width` times their radius across, of this alpha, in one draw with the
// caller's blending: smooth points at one pixel a point, sprites of the same profile on a denser
// frame buffer.
void drawTrackMarks(DropletsScreen* screen, const std::vector<std::shared_ptr<Knode>>& marks,
                    double width, float alpha);

class SurfaceTrack {
  public:
    // The stroke has no mark yet while all three components of lastPoint hold this.
    static constexpr double kNoPoint = -9999.0;

    // `screen` is referred to, not owned; the marks are nodes of its world. The start point
    // only seeds lastTapDownPosition.
    SurfaceTrack(DropletsScreen* screen, bool sound, _Vector3f start);
    static std::shared_ptr<SurfaceTrack> initTrackWithSoundFromPoint(DropletsScreen* screen,
                                                                     bool sound, _Vector3f start);

    void addPointWithRadius(_Vector3f point, double radius);
    void addPointInternalWithRadius(_Vector3f point, double radius);
    // Draws the marks as points of alpha 0.1 with the caller's GL state, then asks the world to
    // remove them.
    void draw();
    // Asks the world to remove the marks, drawn some other way.
    void dropMarks();
    void removeDrawnNodes();
    // Ends the stroke: silences the sound; the next position starts a new stroke.
    void stopMusic();

    const std::vector<std::shared_ptr<Knode>>& points() const { return points_; }
    // Where the smooth band the glass look wipes along this stroke ended, so the next joins it.
    struct BandEnd {
        bool valid = false, capped = false;
        float x = 0, y = 0, half = 0, nx = 0, ny = 0;  // centre, half width, unit normal
    };
    BandEnd& bandEnd() { return bandEnd_; }
    GBMusicTrack* music() const { return music_; }
    double lastPlayedSound() const { return lastPlayedSound_; }
    _Vector3f lastPoint() const { return lastPoint_; }
    bool soundEnabled() const { return soundEnabled_; }
    DropletsScreen* dscreen() const { return dscreen_; }
    _Vector3f lastTapDownPosition() const { return lastTapDownPosition_; }

    // Seconds of absolute time for the sound spacing; tests put their own clock here (an empty
    // function restores the steady clock).
    static void setClock(std::function<double()> clock);
    static double now();

  private:
    bool hasMark() const { return lastPoint_.z != kNoPoint; }

    std::vector<std::shared_ptr<Knode>> points_;
    GBMusicTrack* music_ = nullptr;
    double lastPlayedSound_ = 0.0;
    _Vector3f lastPoint_{kNoPoint, kNoPoint, kNoPoint};
    bool soundEnabled_ = false;
    DropletsScreen* dscreen_ = nullptr;
    _Vector3f lastTapDownPosition_{};
    BandEnd bandEnd_;
};
