// Cases of the fixed-function layer itself; the GL tests of the other folders run through it
// in this same program.
#include <string>

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

}  // namespace
