#pragma once

#include <memory>
#include <string>
#include <vector>

class AlertView;

// Told which button closed an alert.
class AlertViewDelegate {
  public:
    virtual ~AlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(AlertView& alert, int buttonIndex) = 0;
};

// Keys that work an alert; the window maps its keyboard onto these.
enum class AlertKey { Escape, Tab, BackTab, Left, Right, Up, Down, Enter, Digit };

// A phone-style alert box: title, message, a cancel button (index 0) and other buttons (1, 2...).
// It is drawn over the window by the program, never into the screen's frame buffer, so
// screenshots never show it; the frame loop runs on behind it. Showing one logs "alert: TITLE".
class AlertView {
  public:
    AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
              std::string cancelButtonTitle, std::vector<std::string> otherButtonTitles);
    virtual ~AlertView();

    const std::string& title() const;
    const std::string& message() const;
    AlertViewDelegate* delegate() const;
    int numberOfButtons() const;
    std::string buttonTitleAtIndex(int index) const;
    int cancelButtonIndex() const;

    // Shows it on top of any other alert; closing the top one reveals the one below.
    void show();
    // Shows an alert made on demand that nobody else keeps; it lives until it closes.
    static void showAndKeep(std::shared_ptr<AlertView> alert);
    void dismissWithClickedButtonIndex(int buttonIndex, bool animated);
    bool visible() const;

    // The alert on top, or nullptr when none is up.
    static AlertView* visibleAlert();

    // Presses a button: the alert closes, then its delegate hears of it.
    void pressButton(int buttonIndex);

    // Input while the alert is up, in screen points (320 x 480, origin top-left). A touch
    // outside the box does nothing; one inside that lifts on the same button presses it.
    void touchDown(double x, double y);
    void touchMoved(double x, double y);
    void touchUp(double x, double y);
    // digit is used with AlertKey::Digit. Returns whether the key did something.
    bool handleKey(AlertKey key, int digit = 0);
    // The keyboard's button (Enter presses it) and the one lit under a finger; -1 for none.
    int selectedButtonIndex() const;
    int highlightedButtonIndex() const;
    // Where the box and a button lie, in screen points (zero for a button that is not there).
    void boxRect(double& x, double& y, double& width, double& height) const;
    void buttonRect(int index, double& x, double& y, double& width, double& height) const;

    // Draws the top alert with GL ES 1.1 into the bound (window) frame buffer, over the screen
    // picture that lies in the given rectangle of the window, in window pixels with the origin
    // at the window's top-left corner. The caller's GL state is left as it was.
    static void drawVisibleAlert(int screenX, int screenY, int screenWidth, int screenHeight,
                                 int windowWidth, int windowHeight);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
