#include "app/Settings.h"

namespace brumelo {

Settings& settings() {
    static Settings s;
    return s;
}

}  // namespace brumelo
