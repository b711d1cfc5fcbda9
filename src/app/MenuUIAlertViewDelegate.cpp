#include "app/MenuUIAlertViewDelegate.h"

#include "app/EmailImage.h"
#include "app/TenzoAppDelegate.h"

void MenuUIAlertViewDelegate::alertViewClickedButtonAtIndex(AlertView& /*alert*/, int buttonIndex) {
    switch (buttonIndex) {
        case 1:
            if (TenzoAppDelegate* app = TenzoAppDelegate::getInstance()) app->pickImage();
            break;
        case 2:
            emailImage("");
            break;
        case 3:
            if (moreAlert_) moreAlert_->show();
            break;
        default:
            break;
    }
}
