#include "Es2.h"

namespace brumelo::gles1::es2 {

std::uint64_t calls = 0;
Held held;

#ifdef __EMSCRIPTEN__

bool load(Loader, std::string*) { return true; }

#else

Table table;

bool load(Loader getProcAddress, std::string* missing) {
    if (getProcAddress == nullptr) {
        if (missing) *missing = "no loader";
        return false;
    }
    Table loaded;
    bool all = true;
#define BRUMELO_ES2_LOAD(ret, name, params, args)                                      \
    loaded.name = reinterpret_cast<decltype(loaded.name)>(getProcAddress("gl" #name)); \
    if (loaded.name == nullptr && all) {                                               \
        all = false;                                                                   \
        if (missing) *missing = "gl" #name;                                            \
    }
    BRUMELO_ES2_FUNCTIONS(BRUMELO_ES2_LOAD)
#undef BRUMELO_ES2_LOAD
    if (all) table = loaded;
    return all;
}

#endif

}  // namespace brumelo::gles1::es2
