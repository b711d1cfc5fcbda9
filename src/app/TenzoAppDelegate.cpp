#include "app/TenzoAppDelegate.h"

namespace {
TenzoAppDelegate* instance = nullptr;
}

TenzoAppDelegate::TenzoAppDelegate() { instance = this; }

TenzoAppDelegate::~TenzoAppDelegate() {
    if (instance == this) instance = nullptr;
}

TenzoAppDelegate* TenzoAppDelegate::getInstance() { return instance; }
