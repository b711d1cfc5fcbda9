#include "app/LevelMeter.h"

#include <GLES/gl.h>

#include <algorithm>
#include <array>
#include <iterator>

#include "app/WindowOverlay.h"
#include "audio/MicrophoneLevel.h"
#include "render/Globals.h"

namespace brumelo {

namespace {

// Up to three rectangles as triangles, without allocating.
struct Quads {
    std::array<GLfloat, 3 * 12> vertices{};
    std::array<GLfloat, 3 * 24> colors{};
    int count = 0;
    void add(GLfloat x0, GLfloat y0, GLfloat x1, GLfloat y1, const GLfloat (&c)[4]) {
        const GLfloat corners[12] = {x0, y0, x1, y0, x0, y1, x1, y0, x1, y1, x0, y1};
        std::copy(std::begin(corners), std::end(corners), vertices.begin() + count * 12);
        for (int i = 0; i < 6; ++i)
            std::copy(std::begin(c), std::end(c), colors.begin() + count * 24 + i * 4);
        ++count;
    }
};

}  // namespace

bool& levelMeterShown() {
    static bool shown = false;
    return shown;
}

LevelReading microphoneReading() {
    const MicrophoneLevel& mic = microphoneLevel();
    LevelReading r;
    r.level = mic.level();
    r.threshold = MicrophoneLevel::kBlowThreshold;
    r.blowing = mic.heldLevel() > MicrophoneLevel::kBlowThreshold;
    r.calibrating = mic.calibrating();
    return r;
}

void drawLevelMeter(const LevelReading& reading, int screenX, int screenY, int screenWidth,
                    int screenHeight, int windowWidth, int windowHeight) {
    if (screenWidth <= 0 || screenHeight <= 0 || windowWidth <= 0 || windowHeight <= 0) return;
    if (!reading.calibrating && !(reading.level > 0)) return;

    // In points of the pane, by its bottom right corner, then scaled into the window.
    const auto paneWidth = static_cast<GLfloat>(paneSize().width);
    const auto paneHeight = static_cast<GLfloat>(paneSize().height);
    const GLfloat scale = static_cast<GLfloat>(screenWidth) / paneWidth;
    const GLfloat x0 = static_cast<GLfloat>(screenX) + (paneWidth - 20.0f) * scale;
    const GLfloat x1 = x0 + 8.0f * scale;
    const GLfloat bottom = static_cast<GLfloat>(screenY) + (paneHeight - 20.0f) * scale;
    const GLfloat top = static_cast<GLfloat>(screenY) + (paneHeight - 180.0f) * scale;
    const GLfloat edge = std::max(1.0f, scale);
    const auto heightAt = [&](double level) {
        return bottom - static_cast<GLfloat>(std::clamp(level, 0.0, 1.0)) * (bottom - top);
    };

    static const GLfloat track[4] = {0.0f, 0.0f, 0.0f, 0.35f};
    static const GLfloat listening[4] = {1.0f, 1.0f, 1.0f, 0.25f};
    static const GLfloat quiet[4] = {0.75f, 0.87f, 1.0f, 0.9f};
    static const GLfloat blow[4] = {1.0f, 0.72f, 0.3f, 0.95f};
    static const GLfloat mark[4] = {1.0f, 1.0f, 1.0f, 0.9f};
    Quads q;
    q.add(x0 - edge, top - edge, x1 + edge, bottom + edge, track);
    if (reading.calibrating) {
        q.add(x0, top, x1, bottom, listening);
    } else {
        q.add(x0, heightAt(reading.level), x1, bottom, reading.blowing ? blow : quiet);
        const GLfloat y = heightAt(reading.threshold);
        q.add(x0 - 2.0f * edge, y - edge / 2, x1 + 2.0f * edge, y + edge / 2, mark);
    }

    // Leave the caller's GL state as it was.
    const WindowOverlay overlay(windowWidth, windowHeight);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, q.vertices.data());
    glColorPointer(4, GL_FLOAT, 0, q.colors.data());
    glDrawArrays(GL_TRIANGLES, 0, q.count * 6);
}

}  // namespace brumelo
