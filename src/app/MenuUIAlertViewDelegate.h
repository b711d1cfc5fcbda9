#pragma once

#include "app/AlertView.h"

// The main menu's buttons: 1 choose a background, 2 mail the picture to a friend, 3 more.
class MenuUIAlertViewDelegate : public AlertViewDelegate {
  public:
    // moreAlert: the view's more menu, shown by "More..." (not owned).
    explicit MenuUIAlertViewDelegate(AlertView* moreAlert = nullptr) : moreAlert_(moreAlert) {}
    void setMoreAlert(AlertView* alert) { moreAlert_ = alert; }
    void alertViewClickedButtonAtIndex(AlertView& alert, int buttonIndex) override;

  private:
    AlertView* moreAlert_;
};
