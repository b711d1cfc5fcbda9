#pragma once

#include <memory>
#include <vector>

#include "app/AlertView.h"
#include "app/MenuMoreUIAlertViewDelegate.h"
#include "app/MenuUIAlertViewDelegate.h"

// The GL view's three menu alerts and the two delegates that work them; they live as long as
// the view that holds this.
struct MenuAlerts {
    std::shared_ptr<MenuUIAlertViewDelegate> menuDelegate;
    std::shared_ptr<MenuMoreUIAlertViewDelegate> menuMoreDelegate;
    std::shared_ptr<AlertView> menuAlert;
    std::shared_ptr<AlertView> menuMoreAlert;
    std::shared_ptr<AlertView> aboutAlert;
    // Both delegates again, for a view that keeps them without knowing their kinds.
    std::vector<std::shared_ptr<AlertViewDelegate>> delegates;
};

// The help text of the main menu differs on an iPod touch (no microphone to speak of).
MenuAlerts createMenuAlerts(bool iPodTouch);
