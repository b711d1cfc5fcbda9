#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class Texture2D;

// What fogged glass shows of the picture behind it: the picture blurred by several points,
// brightened, its lights blooming, with fine beads of condensation on the glass, denser and
// larger towards the bottom. Made once for each background and screen density; the steam's
// weight mixes it with the sharp picture as it is drawn.
namespace frost {

// The background's pixels as GL lays them out (row 0 is t = 0), and where they are drawn: a
// picture of `pictureWidth` x `pictureHeight` points centred on the screen.
struct Picture {
    const std::uint8_t* rgba = nullptr;
    int stride = 0;  // pixels a row
    int width = 0, height = 0;  // of the content, in pixels
    float pictureWidth = 0, pictureHeight = 0;  // in points
};

// A fog made on the GPU from a moving picture can only scale and lift its levels: share times
// the picture's level plus a lift, the straight line nearest to what frostedPixels makes of
// them (which works on linear light), so that both fogs are as bright.
inline constexpr float kLiveShare = 0.45f;
inline constexpr float kLiveLift[3] = {0.235f, 0.25f, 0.27f};

// The fogged view over a screen of `screenWidth` x `screenHeight` points at `pixelsPerPoint`,
// opaque RGBA rows laid out as the picture's. Outside the picture the glass shows black.
std::vector<std::uint8_t> frostedPixels(const Picture& picture, float screenWidth,
                                        float screenHeight, float pixelsPerPoint);

// A texture's pixels through a frame buffer of its own (ES 1.1 cannot read textures), as GL
// lays them out: row 0 is t = 0. Empty when the texture cannot be attached. A picture's texture
// read for the first time answers the pixels it kept (Texture2D::takePixels), with no wait.
std::vector<std::uint8_t> readTexture(const Texture2D& texture);

// The same as a texture drawn over the screen, from a background texture drawn centred and
// scaled by `cover`; nullptr when the background cannot be read back.
std::shared_ptr<Texture2D> makeFrostedTexture(const Texture2D& background, float screenWidth,
                                              float screenHeight, float pixelsPerPoint,
                                              float cover = 1.0f);

}  // namespace frost
