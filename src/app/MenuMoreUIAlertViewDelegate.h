#pragma once

#include "app/AlertView.h"

// The more menu's buttons: 1 save the picture, 2 submit it by mail, 3 the About box.
class MenuMoreUIAlertViewDelegate : public AlertViewDelegate {
  public:
    // aboutAlert: the view's About box (not owned).
    explicit MenuMoreUIAlertViewDelegate(AlertView* aboutAlert = nullptr)
        : aboutAlert_(aboutAlert) {}
    void setAboutAlert(AlertView* alert) { aboutAlert_ = alert; }
    void alertViewClickedButtonAtIndex(AlertView& alert, int buttonIndex) override;

  private:
    AlertView* aboutAlert_;
};
