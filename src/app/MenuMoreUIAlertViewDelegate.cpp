#include "app/MenuMoreUIAlertViewDelegate.h"

#include <memory>

#include "app/Credits.h"
#include "app/EmailImage.h"
#include "app/LiveCamera.h"
#include "app/TenzoAppDelegate.h"

void MenuMoreUIAlertViewDelegate::alertViewClickedButtonAtIndex(AlertView& /*alert*/,
                                                                int buttonIndex) {
    switch (buttonIndex) {
        case 1:
            // A failed save must not be confirmed as saved.
            if (!brumelo::saveScreenshotToPictures().empty())
                AlertView::showAndKeep(std::make_shared<AlertView>(
                    "Image saved", "You can find it in your Camera Roll Album", nullptr, "Dismiss",
                    std::vector<std::string>{}));
            else
                AlertView::showAndKeep(std::make_shared<AlertView>(
                    "Image not saved",
                    "Brumelo could not save the picture in your Pictures folder.", nullptr,
                    "Dismiss", std::vector<std::string>{}));
            break;
        case 2:
            emailImage(isIPodTouch() ? brumelo::credits::submissionAddressIPod
                                     : brumelo::credits::submissionAddressIPhone);
            if (aboutAlert_) aboutAlert_->show();
            break;
        case 3:
            if (aboutAlert_) aboutAlert_->show();
            break;
        case 4:
            // Phones have no keys: the menu turns the camera on and off.
            brumelo::toggleLiveCamera();
            break;
        default:
            break;
    }
}
