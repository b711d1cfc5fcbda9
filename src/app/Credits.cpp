#include "app/Credits.h"

namespace brumelo::credits {

const char* const aboutText =
    "Thanks for wiping with Brumelo!\n"
    "Use \"Submit your Brumie\" to see your pictures on brumelo.example.org.\n"
    "Made by the Brumelo team:\nAlex Brume and Sam Melo\n"
    "\xC2\xA9 2026 Brumelo team";
const char* const submissionAddressIPod = "ipod-brumies@example.org";
const char* const submissionAddressIPhone = "iphone-brumies@example.org";
const char* const storePageURL = "https://brumelo.example.org/store";

}  // namespace brumelo::credits
