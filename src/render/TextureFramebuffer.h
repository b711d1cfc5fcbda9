#pragma once

#include <memory>

class Texture2D;

// Gives the texture a frame buffer that renders into it (its fbo). The new frame buffer is left
// bound. With clear, the texture becomes opaque black. False (logged) when the frame buffer is
// incomplete; the texture keeps the generated name then.
bool createFramebufferObjectForTexture(Texture2D& texture, bool clear);
inline bool createFramebufferObjectForTexture(const std::shared_ptr<Texture2D>& texture,
                                              bool clear) {
    return texture != nullptr && createFramebufferObjectForTexture(*texture, clear);
}
