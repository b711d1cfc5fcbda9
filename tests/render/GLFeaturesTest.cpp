// The fixed-function features the drawing code relies on or is about to (round points, sprites,
// per-vertex point sizes, a second texture unit with an alpha mask), pinned to what Mesa's ES 1.1
// draws. The same cases run through the fixed-function layer in test_gles1.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/GLTestContext.h"

using brumelo::test::near;
using brumelo::test::readGLPixel;
using brumelo::test::Rgba;

namespace {

class GLFeatures : public brumelo::test::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrthof(0, 320, 0, 480, -1, 1);  // one unit a pixel, origin bottom left
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ZERO);  // the fragment as it is, alpha included
    }
    void TearDown() override {
        glDisable(GL_POINT_SMOOTH);
        glDisable(GL_POINT_SPRITE_OES);
        glDisableClientState(GL_POINT_SIZE_ARRAY_OES);
        // Later tests find the state as GL starts.
        for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE0}) {
            glActiveTexture(unit);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            glTexEnvi(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, GL_FALSE);
            glDisable(GL_TEXTURE_2D);
        }
        glClientActiveTexture(GL_TEXTURE0);
        glColor4f(1, 1, 1, 1);
        glPointSize(1);
        glBlendFunc(GL_ONE, GL_ZERO);
        glDeleteTextures(static_cast<GLsizei>(textures_.size()), textures_.data());
        GLTest::TearDown();
    }
    void point(float x, float y, float size) {
        const GLfloat v[] = {x, y};
        glVertexPointer(2, GL_FLOAT, 0, v);
        glPointSize(size);
        glDrawArrays(GL_POINTS, 0, 1);
    }
    GLuint texture(GLenum format, GLenum type, int w, int h, const void* pixels) {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), w, h, 0, format, type, pixels);
        textures_.push_back(name);
        return name;
    }
    // Width in pixels of what is lit along row y from x0 on.
    static int litRun(int x0, int y) {
        int n = 0;
        while (readGLPixel(x0 + n, y).a > 0 && n < 64) ++n;
        return n;
    }
    std::vector<GLuint> textures_;
};

// Mesa rounds points to a disc whose alpha rises towards the centre by (1 - d) / (1 - k) (d the
// squared distance in radii, k where the edge ramp starts) and stays as drawn in the outermost
// pixel ring; the wipe marks burn the steam with exactly that.
TEST_F(GLFeatures, RoundPointsAreDiscsWithTheirCentreBoostedAsMesaDrawsThem) {
    glEnable(GL_POINT_SMOOTH);
    glColor4f(1, 1, 1, 0.25f);
    point(100, 100, 10);
    EXPECT_TRUE(near(readGLPixel(100, 100), {255, 255, 255, 174}));  // d = 0.02
    EXPECT_TRUE(near(readGLPixel(103, 100), {255, 255, 255, 89}));   // d = 0.5
    EXPECT_TRUE(near(readGLPixel(104, 100), {255, 255, 255, 64}));   // the ring
    EXPECT_EQ(readGLPixel(104, 104).a, 0);  // the square's corner is cut off
    EXPECT_EQ(readGLPixel(105, 100).a, 0);
    // Below two pixels a round point is drawn two pixels wide: three pixel centres fall inside.
    point(200.25f, 100.25f, 1);
    EXPECT_EQ(readGLPixel(199, 100).a, 64);
    EXPECT_EQ(readGLPixel(200, 100).a, 64);
    EXPECT_EQ(readGLPixel(200, 99).a, 64);
    EXPECT_EQ(readGLPixel(199, 99).a, 0);
    EXPECT_EQ(readGLPixel(201, 100).a, 0);
}

// One draw of points of several sizes; square points take the nearest whole size.
TEST_F(GLFeatures, PointSizeArrayGivesEachPointItsOwnSize) {
    const GLfloat v[] = {50.5f, 50.5f, 100.5f, 50.5f, 150.5f, 50.5f};
    const GLfloat sizes[] = {1, 5, 3.4f};
    glColor4f(1, 0, 0, 1);
    glVertexPointer(2, GL_FLOAT, 0, v);
    glEnableClientState(GL_POINT_SIZE_ARRAY_OES);
    glPointSizePointerOES(GL_FLOAT, 0, sizes);
    glDrawArrays(GL_POINTS, 0, 3);
    EXPECT_EQ(litRun(50, 50), 1);
    EXPECT_EQ(litRun(98, 50), 5);
    EXPECT_EQ(litRun(149, 50), 3);
    EXPECT_TRUE(near(readGLPixel(100, 50), {255, 0, 0, 255}));
}

// With coordinates replaced a sprite shows the whole texture, its first row at the top.
TEST_F(GLFeatures, PointSpritesSpreadTheTextureOverThePoint) {
    const std::uint8_t pixels[] = {255, 0, 0,   255, 0,   255, 0,   255,  // first row: red, green
                                   0,   0, 255, 255, 255, 255, 255, 255};
    texture(GL_RGBA, GL_UNSIGNED_BYTE, 2, 2, pixels);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_POINT_SPRITE_OES);
    glTexEnvi(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, GL_TRUE);
    point(100, 100, 16);
    glDisable(GL_TEXTURE_2D);
    EXPECT_TRUE(near(readGLPixel(94, 105), {255, 0, 0, 255}));
    EXPECT_TRUE(near(readGLPixel(105, 105), {0, 255, 0, 255}));
    EXPECT_TRUE(near(readGLPixel(94, 94), {0, 0, 255, 255}));
    EXPECT_TRUE(near(readGLPixel(105, 94), {255, 255, 255, 255}));
    GLint replace = 0;
    glGetTexEnviv(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, &replace);
    EXPECT_EQ(replace, GL_TRUE);
}

// A 16-bit picture replaced onto the fragment keeps the fragment's alpha; an alpha-only mask on
// the second unit scales the alpha and leaves the colour.
TEST_F(GLFeatures, SecondUnitModulatesByAnAlphaMask) {
    const std::uint16_t rgb565[] = {0xF800, 0xF800, 0xF800, 0xF800};  // red
    const std::uint8_t mask[] = {128, 128, 128, 128};
    texture(GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, 2, rgb565);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glActiveTexture(GL_TEXTURE1);
    texture(GL_ALPHA, GL_UNSIGNED_BYTE, 2, 2, mask);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), textures_.back());
    const GLfloat v[] = {10, 10, 60, 10, 10, 60, 60, 60};
    const GLfloat uv[] = {0, 0, 1, 0, 0, 1, 1, 1};
    glVertexPointer(2, GL_FLOAT, 0, v);
    for (GLenum unit : {GL_TEXTURE0, GL_TEXTURE1}) {
        glClientActiveTexture(unit);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, uv);
    }
    glColor4f(0, 1, 1, 0.5f);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE0}) {
        glClientActiveTexture(unit);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_2D);
    EXPECT_TRUE(near(readGLPixel(30, 30), {255, 0, 0, 64}, 2));
}

}  // namespace
