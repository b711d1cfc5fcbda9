#pragma once

#include <memory>

class DropletsScreen;
class EAGLView;

// The application's delegate: launch sequence, device input, and the one place every other
// part reaches the steam screen and the GL view through.
class TenzoAppDelegate {
public:
    TenzoAppDelegate();
    virtual ~TenzoAppDelegate();

    // The running program's delegate (the most recently created one).
    static TenzoAppDelegate* getInstance();

    const std::shared_ptr<DropletsScreen>& dropletScreen() const { return dropletScreen_; }
    void setDropletScreen(std::shared_ptr<DropletsScreen> screen) {
        dropletScreen_ = std::move(screen);
    }
    EAGLView* glView() const { return glView_; }
    void setGlView(EAGLView* view) { glView_ = view; }

private:
    std::shared_ptr<DropletsScreen> dropletScreen_;
    EAGLView* glView_ = nullptr;
};
