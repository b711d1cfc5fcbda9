#pragma once

// A headless GL ES 1.1 context for tests, with a 320 x 480 RGBA frame buffer standing in for the
// screen (bound, and named by the globals viewFramebuffer / viewRenderbuffer). Derive a test
// fixture from GLTest, or call brumelo::test::sharedGLContext() directly.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/GLContext.h"
#include "platform/GLExtensions.h"
#include "render/Globals.h"

namespace brumelo::test {

// One context for the whole test program, made on first use and kept to the end (textures in
// globals may outlive every test).
inline HeadlessGLContext* sharedGLContext(std::string* error = nullptr) {
    static std::string reason;
    static HeadlessGLContext* context = HeadlessGLContext::create(&reason).release();
    if (error) *error = reason;
    if (context) context->makeCurrent();
    return context;
}

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

// The screen stand-in: a colour render buffer in a frame buffer.
class ScreenFramebuffer {
  public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 480;

    ScreenFramebuffer() {
        glGenFramebuffersOES(1, &framebuffer_);
        glGenRenderbuffersOES(1, &renderbuffer_);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer_);
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, kWidth, kHeight);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES,
                                     GL_RENDERBUFFER_OES, renderbuffer_);
        complete_ = glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) == GL_FRAMEBUFFER_COMPLETE_OES;
        viewFramebuffer = framebuffer_;
        viewRenderbuffer = renderbuffer_;
    }
    ~ScreenFramebuffer() {
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, 0);
        glDeleteFramebuffersOES(1, &framebuffer_);
        glDeleteRenderbuffersOES(1, &renderbuffer_);
        if (viewFramebuffer == framebuffer_) viewFramebuffer = 0;
        if (viewRenderbuffer == renderbuffer_) viewRenderbuffer = 0;
    }
    ScreenFramebuffer(const ScreenFramebuffer&) = delete;
    ScreenFramebuffer& operator=(const ScreenFramebuffer&) = delete;

    bool complete() const { return complete_; }
    void bind() const { glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_); }
    GLuint framebuffer() const { return framebuffer_; }

  private:
    GLuint framebuffer_ = 0;
    GLuint renderbuffer_ = 0;
    bool complete_ = false;
};

// Reads one pixel of the bound frame buffer; (x, y) in GL window coordinates (origin bottom-left).
inline Rgba readGLPixel(int x, int y) {
    std::array<std::uint8_t, 4> p{};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return {p[0], p[1], p[2], p[3]};
}

// Reads one pixel of the bound 320 x 480 screen in touch coordinates (origin top-left, y down).
inline Rgba readScreenPixel(int x, int y) {
    return readGLPixel(x, ScreenFramebuffer::kHeight - 1 - y);
}

// The whole bound frame buffer, rows bottom first as GL gives them, 4 bytes a pixel.
inline std::vector<std::uint8_t> readGLPixels(int width, int height) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

inline ::testing::AssertionResult near(Rgba actual, Rgba expected, int tolerance = 3) {
    auto close = [&](int x, int y) { return x - y <= tolerance && y - x <= tolerance; };
    if (close(actual.r, expected.r) && close(actual.g, expected.g) && close(actual.b, expected.b) &&
        close(actual.a, expected.a)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "pixel (" << actual.r << ", " << actual.g << ", " << actual.b << ", " << actual.a
           << ") is not within " << tolerance << " of (" << expected.r << ", " << expected.g << ", "
           << expected.b << ", " << expected.a << ")";
}

// A fixture with the context current and the screen frame buffer bound and cleared to opaque
// black; GL errors left behind by a test fail it.
class GLTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        if (sharedGLContext(&error) == nullptr) GTEST_FAIL() << "no headless GL context: " << error;
        screen_ = std::make_unique<ScreenFramebuffer>();
        ASSERT_TRUE(screen_->complete());
        glViewport(0, 0, ScreenFramebuffer::kWidth, ScreenFramebuffer::kHeight);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override {
        if (screen_) {
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            glDisable(GL_BLEND);
            glDisable(GL_TEXTURE_2D);
            screen_.reset();
        }
    }
    std::unique_ptr<ScreenFramebuffer> screen_;
};

}  // namespace brumelo::test
