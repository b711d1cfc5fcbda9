#pragma once

#include <memory>
#include <vector>

#include "render/Helper.h"

class ActiveTexture;
class Viewport;

// An ordered list of buttons drawn into a viewport; the first visible button hit answers.
class SimpleView {
  public:
    SimpleView(bool staticView, int defaultButtonID);
    static std::shared_ptr<SimpleView> initSimpleView(bool staticView, int defaultButtonID) {
        return std::make_shared<SimpleView>(staticView, defaultButtonID);
    }
    // Empty, static, default identifier 0.
    static std::shared_ptr<SimpleView> getSimpleViewGame();
    // Four text buttons: "Play" (1), "Scores" (2), "About" (3) and the makers' notice (0).
    static std::shared_ptr<SimpleView> getSimpleViewMenuHome();

    void addActiveTexture(std::shared_ptr<ActiveTexture> activeTexture);
    void drawOnViewport(const Viewport& viewport);
    // The identifier of the first visible button under the point whose identifier is not 0,
    // else the default.
    int checkTouch(brumelo::PointF point) const;
    std::shared_ptr<ActiveTexture> getActiveTexture(int identifier) const;
    void setTextureVisibility(int identifier, bool visible);

    bool staticView() const { return staticView_; }
    void setStaticView(bool value) { staticView_ = value; }
    int defaultButtonID() const { return defaultButtonID_; }
    const std::vector<std::shared_ptr<ActiveTexture>>& activeTextures() const {
        return activeTextures_;
    }

  private:
    std::vector<std::shared_ptr<ActiveTexture>> activeTextures_;
    int defaultButtonID_ = 0;
    bool staticView_ = false;
};
