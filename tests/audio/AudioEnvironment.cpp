#include "AudioTestSupport.h"

namespace {

// The test program's scratch folder goes when it ends. Made first, so that it outlives this.
struct ScratchCleanup {
    ScratchCleanup() { audiotest::scratchDir(); }
    ~ScratchCleanup() {
        std::error_code ec;
        std::filesystem::remove_all(audiotest::scratchDir(), ec);
    }
};

const ScratchCleanup cleanup;

}  // namespace
