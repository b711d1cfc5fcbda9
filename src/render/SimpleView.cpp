#include "render/SimpleView.h"

#include <GLES/gl.h>

#include "render/ActiveTexture.h"
#include "render/Texture2D.h"
#include "render/Viewport.h"

SimpleView::SimpleView(bool staticView, int defaultButtonID)
    : defaultButtonID_(defaultButtonID), staticView_(staticView) {}

std::shared_ptr<SimpleView> SimpleView::getSimpleViewGame() { return initSimpleView(true, 0); }

std::shared_ptr<SimpleView> SimpleView::getSimpleViewMenuHome() {
    struct Entry {
        const char* text;
        float width, height;
        int alignment;
        float fontSize;
        double r, g, b, a;
        float x, y;
        int identifier;
    };
    static const Entry entries[] = {
        {"Play", 220, 64, 1, 58, 149, 245, 255, 255, 0, -184, 1},
        {"Scores", 220, 64, 1, 42, 252, 143, 65, 255, 90, 200, 2},
        {"About", 220, 64, 1, 42, 252, 209, 70, 255, -100, 200, 3},
        {"Brumelo \u2014 made by its own small team", 320, 64, 2, 12, 255, 255, 255, 60, 0, -260,
         0},
    };
    auto view = initSimpleView(false, 0);
    for (const Entry& e : entries) {
        auto texture = Texture2D::initWithStringDimensionsAlignmentFontNameFontSize(
            e.text, {e.width, e.height}, e.alignment, "Arial", e.fontSize);
        if (!texture) continue;
        texture->setTint(e.r, e.g, e.b, e.a);
        view->addActiveTexture(
            ActiveTexture::withTexturePositionIdentifier(texture, {e.x, e.y}, e.identifier));
    }
    return view;
}

void SimpleView::addActiveTexture(std::shared_ptr<ActiveTexture> activeTexture) {
    if (activeTexture) activeTextures_.push_back(std::move(activeTexture));
}

void SimpleView::drawOnViewport(const Viewport& viewport) {
    viewport.setupView();
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    for (const auto& button : activeTextures_) {
        button->draw();
        if (button->vy() != 0.0) {
            brumelo::RectF rect = button->rect();
            rect.y = static_cast<float>(static_cast<double>(rect.y) + button->vy());
            button->setRect(rect);
        }
    }
}

int SimpleView::checkTouch(brumelo::PointF point) const {
    for (const auto& button : activeTextures_) {
        if (button->checkTouch(point) && button->identifier() != 0) return button->identifier();
    }
    return defaultButtonID_;
}

std::shared_ptr<ActiveTexture> SimpleView::getActiveTexture(int identifier) const {
    for (const auto& button : activeTextures_) {
        if (button->identifier() == identifier) return button;
    }
    return nullptr;
}

void SimpleView::setTextureVisibility(int identifier, bool visible) {
    for (const auto& button : activeTextures_) {
        if (button->identifier() == identifier) button->setVisible(visible);
    }
}
