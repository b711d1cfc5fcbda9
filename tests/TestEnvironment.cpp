// Linked into every test program: before anything starts, the tests get a home folder of their own
// (so nothing they save lands in the real user's folders) and the headless sound back ends.
// Set here rather than through CTest, so running a test program by hand is just as safe.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct TestEnvironment {
    TestEnvironment() {
        const std::string home = BRUMELO_TEST_HOME;
        std::filesystem::create_directories(home);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        // A test or the caller may choose otherwise.
        setenv("ALSOFT_DRIVERS", "null", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("LP_NUM_THREADS", "1", 0);
    }
};

const TestEnvironment environment;

}  // namespace
