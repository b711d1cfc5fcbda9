#include "app/MenuAlerts.h"

#include "app/Credits.h"

MenuAlerts createMenuAlerts(bool iPodTouch) {
    MenuAlerts m;
    m.menuDelegate = std::make_shared<MenuUIAlertViewDelegate>();
    m.menuMoreDelegate = std::make_shared<MenuMoreUIAlertViewDelegate>();
    const char* help = iPodTouch
                           ? "Blow on mic or shake and hold finger on screen for more steam!\n"
                             "Shake to clear!\nDouble tap for this menu"
                           : "Blow on the microphone to get\nmore steam on your screen!\n"
                             "Shake to clear it off!\nDouble tap for this menu";
    m.menuAlert = std::make_shared<AlertView>(
        "Brumelo", help, m.menuDelegate.get(), "Dismiss",
        std::vector<std::string>{"Choose background", "Show your friends", "More..."});
    m.menuMoreAlert = std::make_shared<AlertView>(
        "Additional options", "", m.menuMoreDelegate.get(), "Dismiss",
        std::vector<std::string>{"Save your Brumie", "Submit your Brumie", "About",
                                 "Live camera"});
    m.aboutAlert = std::make_shared<AlertView>("About Brumelo 1.2", brumelo::credits::aboutText,
                                               nullptr, "Dismiss", std::vector<std::string>{});
    m.menuDelegate->setMoreAlert(m.menuMoreAlert.get());
    m.menuMoreDelegate->setAboutAlert(m.aboutAlert.get());
    m.delegates = {m.menuDelegate, m.menuMoreDelegate};
    return m;
}
