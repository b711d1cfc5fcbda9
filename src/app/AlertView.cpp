#include "app/AlertView.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/WindowOverlay.h"
#include "platform/AlertRenderer.h"
#include "platform/GLContext.h"
#include "render/Globals.h"

namespace {

// Alerts are laid out on the phone's 320 x 480 points and stand in the middle of the pane.
double paneOffsetX() { return (paneSize().width - brumelo::kScreenWidth) / 2.0; }
double paneOffsetY() { return (paneSize().height - brumelo::kScreenHeight) / 2.0; }

}  // namespace

namespace {

// Bottom of the vector is the first alert shown; the top one takes the input.
// Never destroyed: alerts may still be closing while statics are torn down at exit.
std::vector<AlertView*>& stack() {
    static auto* alerts = new std::vector<AlertView*>;
    return *alerts;
}
// Alerts nobody else keeps (made on demand) live here while they are up.
std::vector<std::shared_ptr<AlertView>>& kept() {
    static auto* alerts = new std::vector<std::shared_ptr<AlertView>>;
    return *alerts;
}

std::shared_ptr<AlertView> takeKept(const AlertView* alert) {
    auto& list = kept();
    auto it =
        std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == alert; });
    if (it == list.end()) return nullptr;
    std::shared_ptr<AlertView> p = std::move(*it);
    list.erase(it);
    return p;
}

int nextPowerOfTwo(int v) {
    int p = 1;
    while (p < v) p <<= 1;
    return p;
}

}  // namespace

struct AlertView::Impl {
    brumelo::AlertContent content;
    AlertViewDelegate* delegate = nullptr;
    std::optional<brumelo::AlertLayout> layout;
    int highlighted = -1;  // button under the finger
    int touchedButton = -1;
    bool touchInBox = false;
    int selected = -1;  // keyboard choice

    GLuint texture = 0;
    int textureWidth = 0, textureHeight = 0;
    int pictureWidth = 0, pictureHeight = 0;
    // What the texture shows, to repaint only when it changes.
    double paintedScale = 0;
    int paintedHighlight = -2, paintedSelection = -2;

    const brumelo::AlertLayout& getLayout() {
        if (!layout) layout = brumelo::layoutAlert(content);
        return *layout;
    }
    int buttonAt(double x, double y) {
        const auto& l = getLayout();
        for (std::size_t i = 0; i < l.buttons.size(); ++i)
            if (l.buttons[i].contains(x, y)) return static_cast<int>(i);
        return -1;
    }
    int defaultSelection() const {
        return content.cancelButtonIndex >= 0 ? content.cancelButtonIndex
                                              : (content.buttons.empty() ? -1 : 0);
    }
};

AlertView::AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
                     std::string cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : impl_(std::make_unique<Impl>()) {
    impl_->content.title = std::move(title);
    impl_->content.message = std::move(message);
    impl_->delegate = delegate;
    if (!cancelButtonTitle.empty()) {
        impl_->content.buttons.push_back(std::move(cancelButtonTitle));
        impl_->content.cancelButtonIndex = 0;
    }
    for (auto& b : otherButtonTitles) impl_->content.buttons.push_back(std::move(b));
}

AlertView::~AlertView() {
    auto& s = stack();
    s.erase(std::remove(s.begin(), s.end(), this), s.end());
    if (impl_->texture != 0 && brumelo::glContextIsCurrent()) glDeleteTextures(1, &impl_->texture);
}

const std::string& AlertView::title() const { return impl_->content.title; }
const std::string& AlertView::message() const { return impl_->content.message; }
AlertViewDelegate* AlertView::delegate() const { return impl_->delegate; }
int AlertView::numberOfButtons() const { return static_cast<int>(impl_->content.buttons.size()); }
std::string AlertView::buttonTitleAtIndex(int index) const {
    if (index < 0 || index >= numberOfButtons()) return {};
    return impl_->content.buttons[static_cast<std::size_t>(index)];
}
int AlertView::cancelButtonIndex() const { return impl_->content.cancelButtonIndex; }

void AlertView::show() {
    auto& s = stack();
    s.erase(std::remove(s.begin(), s.end(), this), s.end());
    s.push_back(this);
    impl_->highlighted = -1;
    impl_->touchedButton = -1;
    impl_->touchInBox = false;
    impl_->selected = impl_->defaultSelection();
    std::fprintf(stderr, "alert: %s\n", impl_->content.title.c_str());
}

void AlertView::showAndKeep(std::shared_ptr<AlertView> alert) {
    if (!alert) return;
    takeKept(alert.get());
    kept().push_back(alert);
    alert->show();
}

void AlertView::dismissWithClickedButtonIndex(int /*buttonIndex*/, bool /*animated*/) {
    auto& s = stack();
    s.erase(std::remove(s.begin(), s.end(), this), s.end());
    impl_->highlighted = -1;
    impl_->touchedButton = -1;
    // Released last: this may be the final reference to the alert.
    std::shared_ptr<AlertView> last = takeKept(this);
}

bool AlertView::visible() const {
    const auto& s = stack();
    return std::find(s.begin(), s.end(), this) != s.end();
}

AlertView* AlertView::visibleAlert() { return stack().empty() ? nullptr : stack().back(); }

void AlertView::pressButton(int buttonIndex) {
    std::shared_ptr<AlertView> keepAlive = takeKept(this);
    dismissWithClickedButtonIndex(buttonIndex, true);
    if (impl_->delegate) impl_->delegate->alertViewClickedButtonAtIndex(*this, buttonIndex);
}

void AlertView::touchDown(double x, double y) {
    x -= paneOffsetX();
    y -= paneOffsetY();
    impl_->touchInBox = impl_->getLayout().box.contains(x, y);
    impl_->touchedButton = impl_->touchInBox ? impl_->buttonAt(x, y) : -1;
    impl_->highlighted = impl_->touchedButton;
}

void AlertView::touchMoved(double x, double y) {
    x -= paneOffsetX();
    y -= paneOffsetY();
    if (!impl_->touchInBox) return;
    const int under = impl_->buttonAt(x, y);
    impl_->highlighted = under == impl_->touchedButton ? under : -1;
}

void AlertView::touchUp(double x, double y) {
    x -= paneOffsetX();
    y -= paneOffsetY();
    const bool began = impl_->touchInBox;
    const int touched = impl_->touchedButton;
    impl_->touchInBox = false;
    impl_->touchedButton = -1;
    impl_->highlighted = -1;
    if (began && touched >= 0 && impl_->buttonAt(x, y) == touched) pressButton(touched);
}

bool AlertView::handleKey(AlertKey key, int digit) {
    const auto& order = impl_->getLayout().visualOrder;
    auto move = [&](int step) {
        if (order.empty()) return false;
        auto it = std::find(order.begin(), order.end(), impl_->selected);
        const int n = static_cast<int>(order.size());
        int pos = it == order.end() ? (step > 0 ? -1 : 0) : static_cast<int>(it - order.begin());
        pos = ((pos + step) % n + n) % n;
        impl_->selected = order[static_cast<std::size_t>(pos)];
        return true;
    };
    switch (key) {
        case AlertKey::Escape:
            if (cancelButtonIndex() < 0) return false;
            pressButton(cancelButtonIndex());
            return true;
        case AlertKey::Tab:
        case AlertKey::Right:
        case AlertKey::Down:
            return move(1);
        case AlertKey::BackTab:
        case AlertKey::Left:
        case AlertKey::Up:
            return move(-1);
        case AlertKey::Enter:
            if (impl_->selected < 0 || impl_->selected >= numberOfButtons()) return false;
            pressButton(impl_->selected);
            return true;
        case AlertKey::Digit:
            if (digit < 0 || digit >= numberOfButtons()) return false;
            pressButton(digit);
            return true;
    }
    return false;
}

int AlertView::selectedButtonIndex() const { return impl_->selected; }
int AlertView::highlightedButtonIndex() const { return impl_->highlighted; }

void AlertView::boxRect(double& x, double& y, double& width, double& height) const {
    const auto& box = impl_->getLayout().box;
    x = box.x + paneOffsetX();
    y = box.y + paneOffsetY();
    width = box.width;
    height = box.height;
}

void AlertView::buttonRect(int index, double& x, double& y, double& width, double& height) const {
    x = y = width = height = 0;
    const auto& buttons = impl_->getLayout().buttons;
    if (index < 0 || index >= static_cast<int>(buttons.size())) return;
    const auto& r = buttons[static_cast<std::size_t>(index)];
    x = r.x + paneOffsetX();
    y = r.y + paneOffsetY();
    width = r.width;
    height = r.height;
}

void AlertView::drawVisibleAlert(int screenX, int screenY, int screenWidth, int screenHeight,
                                 int windowWidth, int windowHeight) {
    AlertView* alert = visibleAlert();
    if (!alert || screenWidth <= 0 || screenHeight <= 0 || windowWidth <= 0 || windowHeight <= 0)
        return;
    Impl& im = *alert->impl_;
    const auto& layout = im.getLayout();
    const double scale = static_cast<double>(screenWidth) / paneSize().width;

    if (im.texture == 0 || im.paintedScale != scale || im.paintedHighlight != im.highlighted ||
        im.paintedSelection != im.selected) {
        const brumelo::AlertPicture picture =
            brumelo::renderAlert(im.content, layout, scale, im.highlighted, im.selected);
        const int tw = nextPowerOfTwo(picture.width), th = nextPowerOfTwo(picture.height);
        if (im.texture == 0) glGenTextures(1, &im.texture);
        GLint previous = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        glBindTexture(GL_TEXTURE_2D, im.texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        if (tw != im.textureWidth || th != im.textureHeight) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            im.textureWidth = tw;
            im.textureHeight = th;
        }
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, picture.width, picture.height, GL_RGBA,
                        GL_UNSIGNED_BYTE, picture.rgba.data());
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
        im.pictureWidth = picture.width;
        im.pictureHeight = picture.height;
        im.paintedScale = scale;
        im.paintedHighlight = im.highlighted;
        im.paintedSelection = im.selected;
    }

    // Leave the caller's GL state as it was.
    const brumelo::WindowOverlay overlay(windowWidth, windowHeight);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);  // the picture is premultiplied
    glEnableClientState(GL_VERTEX_ARRAY);

    // Dim the screen picture a little, as a phone does behind an alert.
    const GLfloat sx = static_cast<GLfloat>(screenX), sy = static_cast<GLfloat>(screenY);
    const GLfloat sw = static_cast<GLfloat>(screenWidth), sh = static_cast<GLfloat>(screenHeight);
    const GLfloat dim[] = {sx, sy, sx + sw, sy, sx, sy + sh, sx + sw, sy + sh};
    glColor4f(0, 0, 0, 0.3f);
    glVertexPointer(2, GL_FLOAT, 0, dim);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    const GLfloat bx = sx + static_cast<GLfloat>((layout.box.x + paneOffsetX()) * scale);
    const GLfloat by = sy + static_cast<GLfloat>((layout.box.y + paneOffsetY()) * scale);
    const GLfloat bw = static_cast<GLfloat>(im.pictureWidth);
    const GLfloat bh = static_cast<GLfloat>(im.pictureHeight);
    const GLfloat u = bw / static_cast<GLfloat>(im.textureWidth);
    const GLfloat v = bh / static_cast<GLfloat>(im.textureHeight);
    const GLfloat quad[] = {bx, by, bx + bw, by, bx, by + bh, bx + bw, by + bh};
    const GLfloat tex[] = {0, 0, u, 0, 0, v, u, v};
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, im.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1, 1, 1, 1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, quad);
    glTexCoordPointer(2, GL_FLOAT, 0, tex);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
}
