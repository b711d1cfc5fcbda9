#pragma once

// A GL ES 1.1 context without a window (EGL surfaceless, llvmpipe): the tests and headless runs
// draw into frame buffer objects of it. Portable header; EGL stays in the .cpp.

#include <functional>
#include <memory>
#include <string>

namespace brumelo {

class HeadlessGLContext {
  public:
    // nullptr with the reason in *error when no context can be made. The new context is current
    // and the frame-buffer-object functions are loaded.
    static std::unique_ptr<HeadlessGLContext> create(std::string* error = nullptr);
    ~HeadlessGLContext();
    HeadlessGLContext(const HeadlessGLContext&) = delete;
    HeadlessGLContext& operator=(const HeadlessGLContext&) = delete;

    bool makeCurrent();

    struct Impl;

  private:
    explicit HeadlessGLContext(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Whether a GL context is current on this thread: GL objects are only deleted then (textures
// held by globals die at exit, perhaps after their context). By default asks EGL; the program
// may install its own question (its window system's).
bool glContextIsCurrent();
void setGLContextQuery(std::function<bool()> query);
// An identity of the current context (null when the window system's contexts cannot be told
// apart): a GL name is deleted only in the context that made it.
const void* currentGLContextIdentity();

}  // namespace brumelo
