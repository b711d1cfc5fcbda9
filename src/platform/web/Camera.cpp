// The browser's camera: not wired to getUserMedia yet, so the live background says so and the
// still picture stays.
#include "platform/Camera.h"

namespace brumelo {

std::unique_ptr<Camera> Camera::open(const Options&, std::string* whyNot) {
    if (whyNot) *whyNot = "this page has no camera yet";
    return nullptr;
}

}  // namespace brumelo
