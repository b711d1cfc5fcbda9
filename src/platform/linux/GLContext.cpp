#include "platform/GLContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <mutex>

#include "platform/GLExtensions.h"

namespace brumelo {

struct HeadlessGLContext::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
};

namespace {

std::string eglFailure(const char* what) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%x)", what,
                  static_cast<unsigned>(eglGetError()));
    return text;
}

void* eglLoader(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

EGLDisplay surfacelessDisplay() {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay != nullptr) {
        EGLDisplay display =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display != EGL_NO_DISPLAY) return display;
    }
    return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

std::mutex queryMutex;
std::function<bool()> contextQuery;

}  // namespace

std::unique_ptr<HeadlessGLContext> HeadlessGLContext::create(std::string* error) {
    auto fail = [&](std::string reason) -> std::unique_ptr<HeadlessGLContext> {
        if (error) *error = std::move(reason);
        return nullptr;
    };
    auto impl = std::make_unique<Impl>();
    impl->display = surfacelessDisplay();
    if (impl->display == EGL_NO_DISPLAY) return fail("no EGL display");
    if (!eglInitialize(impl->display, nullptr, nullptr)) return fail(eglFailure("eglInitialize"));
    if (!eglBindAPI(EGL_OPENGL_ES_API)) return fail(eglFailure("eglBindAPI"));
    // ES 1.1 for the driver's fixed function, else ES 2, which Mesa answers with its newest ES.
    const EGLint version = requiredGLESVersion();
    // Surfaceless Mesa finds no config unless pbuffer surfaces are asked for.
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       version >= 2 ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_ES_BIT,
                                       EGL_RED_SIZE,
                                       8,
                                       EGL_GREEN_SIZE,
                                       8,
                                       EGL_BLUE_SIZE,
                                       8,
                                       EGL_ALPHA_SIZE,
                                       8,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(impl->display, configAttributes, &config, 1, &count) || count < 1) {
        return fail(eglFailure("eglChooseConfig"));
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, version, EGL_NONE};
    impl->context = eglCreateContext(impl->display, config, EGL_NO_CONTEXT, contextAttributes);
    if (impl->context == EGL_NO_CONTEXT) return fail(eglFailure("eglCreateContext"));
    std::unique_ptr<HeadlessGLContext> result(new HeadlessGLContext(std::move(impl)));
    if (!result->makeCurrent()) return fail(eglFailure("eglMakeCurrent"));
    if (!loadGLExtensions(eglLoader)) return fail("the frame-buffer-object functions are missing");
    return result;
}

HeadlessGLContext::HeadlessGLContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

namespace {
// The GL layer holds draws back until the next call: they go to the context they were made in.
void finishCurrent() {
    if (eglGetCurrentContext() != EGL_NO_CONTEXT && glExtensionsLoaded()) glFlush();
}
}  // namespace

HeadlessGLContext::~HeadlessGLContext() {
    if (eglGetCurrentContext() == impl_->context) {
        finishCurrent();
        eglMakeCurrent(impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        glContextMadeCurrent(nullptr);
    }
    glContextDestroyed(impl_->context);
    eglDestroyContext(impl_->display, impl_->context);
    // The display stays initialised: other contexts of the process may share it.
}

bool HeadlessGLContext::makeCurrent() {
    if (eglGetCurrentContext() != impl_->context) finishCurrent();
    if (eglMakeCurrent(impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, impl_->context) !=
        EGL_TRUE) {
        return false;
    }
    glContextMadeCurrent(impl_->context);
    return true;
}

bool glContextIsCurrent() {
    {
        std::lock_guard lock(queryMutex);
        if (contextQuery) return contextQuery();
    }
    return eglGetCurrentContext() != EGL_NO_CONTEXT;
}

const void* currentGLContextIdentity() { return eglGetCurrentContext(); }

void setGLContextQuery(std::function<bool()> query) {
    std::lock_guard lock(queryMutex);
    contextQuery = std::move(query);
}

}  // namespace brumelo
