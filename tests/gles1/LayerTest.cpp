// Cases of the fixed-function layer itself; the GL tests of the other folders run through it
// in this same program.
#include <string>
#include <utility>

#include "gles1/Gles1Layer.h"
#include "render/GLTestContext.h"

namespace {

using brumelo::test::GLTest;
using brumelo::test::near;
using brumelo::test::readGLPixel;
using brumelo::test::Rgba;

class Layer : public GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrthof(0, 320, 0, 480, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
};

// Mesa's own ES 1.1 would answer with its version and never count a draw of the layer: this
// program's gl* calls must all reach the layer.
TEST_F(Layer, AnswersInsteadOfTheDriversFixedFunction) {
    const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    EXPECT_NE(version.find("OpenGL ES-CM 1.1 (fixed-function layer on OpenGL ES "),
              std::string::npos)
        << version;
    const auto before = brumelo::gles1::counters();
    const GLfloat v[] = {10, 10, 20, 10, 10, 20};
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, v);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(brumelo::gles1::counters().draws, before.draws + 1);
}

// State that did not change costs no call below; a draw of unchanged layout costs the upload
// and the draw.
TEST_F(Layer, UnchangedStateMakesNoCallBelow) {
    const GLfloat v[] = {10, 10, 20, 10, 10, 20};
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, v);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    const auto before = brumelo::gles1::counters();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glViewport(0, 0, 320, 480);
    glTranslatef(1, 0, 0);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(brumelo::gles1::counters().calls, before.calls + 2);
}

// Strips of one state drawn in a row go below as one draw, whatever their vertex counts, and
// the vertices that join them draw nothing between them; a mask set and set back between two
// draws does not part them.
TEST_F(Layer, DrawsOfOneStateGoAsOneAndJoinNothing) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_BLEND);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glColor4f(1, 0, 0, 1);
    const GLfloat triangle[] = {10, 10, 50, 10, 10, 50};
    const GLfloat left[] = {100, 100, 140, 100, 100, 140, 140, 140};
    const GLfloat right[] = {200, 100, 240, 100, 200, 140, 240, 140};
    const auto before = brumelo::gles1::counters();
    glVertexPointer(2, GL_FLOAT, 0, triangle);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 3);
    glVertexPointer(2, GL_FLOAT, 0, left);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glVertexPointer(2, GL_FLOAT, 0, right);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    EXPECT_EQ(brumelo::gles1::counters().draws, before.draws + 1);
    for (const auto& [x, y] : {std::pair{15, 15}, {120, 120}, {220, 120}})
        EXPECT_TRUE(near(readGLPixel(x, y), {255, 0, 0, 255})) << x << "," << y;
    // Where triangles from one strip's end to the next one's start would lie.
    for (const auto& [x, y] : {std::pair{53, 53}, {147, 127}, {170, 120}, {170, 105}})
        EXPECT_TRUE(near(readGLPixel(x, y), {0, 0, 0, 0})) << x << "," << y;
}

// Three units: a colour added on the second, and on the third GL_COMBINE mixing what came
// before with the texture by the earlier alpha, its alpha scaled by the constant colour.
TEST_F(Layer, CombineInterpolatesByThePreviousAlphaOnAThirdUnit) {
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    ASSERT_GE(units, 3);
    const GLubyte texels[3][4] = {{200, 100, 50, 128}, {40, 40, 40, 255}, {0, 255, 0, 255}};
    GLuint names[3];
    glGenTextures(3, names);
    const GLfloat quad[] = {0, 0, 320, 0, 0, 480, 320, 480};
    const GLfloat coords[] = {0, 0, 1, 0, 0, 1, 1, 1};
    for (int u = 0; u < 3; ++u) {
        glActiveTexture(GL_TEXTURE0 + u);
        glClientActiveTexture(GL_TEXTURE0 + u);
        glBindTexture(GL_TEXTURE_2D, names[u]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels[u]);
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, coords);
    }
    glActiveTexture(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
    glActiveTexture(GL_TEXTURE2);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SRC2_RGB, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_ALPHA, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_ALPHA, GL_CONSTANT);
    const GLfloat constant[4] = {0, 0, 0, 0.5f};
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
    // No dot product for alpha: refused, the state kept.
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_DOT3_RGB);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
    GLint function = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_RGB, &function);
    EXPECT_EQ(function, GL_INTERPOLATE);

    glDisable(GL_BLEND);
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1, 1, 1, 1);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, quad);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    // (240, 140, 90) kept by 128/255, green by the rest; alpha 128 times one half.
    EXPECT_TRUE(near(readGLPixel(160, 240), {120, 197, 45, 64}, 2));

    for (int u = 2; u >= 0; --u) {
        glActiveTexture(GL_TEXTURE0 + u);
        glClientActiveTexture(GL_TEXTURE0 + u);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        if (u > 0) glDisable(GL_TEXTURE_2D);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDeleteTextures(3, names);
}

}  // namespace
