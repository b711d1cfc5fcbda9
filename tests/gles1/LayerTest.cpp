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

}  // namespace
