#pragma once

// The maker's own values shown or used by the menus, kept together.
namespace brumelo::credits {

// The About box's text: greeting, invitation, authors, copyright.
extern const char* const aboutText;
// Where "Submit your Brumie" mails the picture, by kind of device.
extern const char* const submissionAddressIPod;
extern const char* const submissionAddressIPhone;
// The program's page, linked from every mailed picture. No '?', '&' or '#': it sits inside a
// mailto URL's body unescaped.
extern const char* const storePageURL;

}  // namespace brumelo::credits
