// The page's WebGL context stands behind every GL call; there is no second, window-less one.

#include "platform/GLContext.h"

#include <emscripten/html5.h>

#include <cstdint>

namespace brumelo {

struct HeadlessGLContext::Impl {};

std::unique_ptr<HeadlessGLContext> HeadlessGLContext::create(std::string* error) {
    if (error) *error = "the browser build draws only into its page";
    return nullptr;
}

HeadlessGLContext::HeadlessGLContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
HeadlessGLContext::~HeadlessGLContext() = default;
bool HeadlessGLContext::makeCurrent() { return false; }

namespace {
std::function<bool()> contextQuery;
}  // namespace

bool glContextIsCurrent() {
    if (contextQuery) return contextQuery();
    return emscripten_webgl_get_current_context() != 0;
}

const void* currentGLContextIdentity() {
    return reinterpret_cast<const void*>(
        static_cast<std::intptr_t>(emscripten_webgl_get_current_context()));
}

void setGLContextQuery(std::function<bool()> query) { contextQuery = std::move(query); }

}  // namespace brumelo
