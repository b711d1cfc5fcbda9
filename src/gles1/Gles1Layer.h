#pragma once

// The OpenGL ES 1.1 fixed-function layer over ES 2.0 / WebGL. Linked into a program, it defines
// every gl* function the program calls and everything platform/GLExtensions.h declares (it takes
// the place of GLExtensions.cpp): make an ES 2 or later context current, then call
// brumelo::loadGLExtensions. State is kept per context, as the window system reports them
// through brumelo::glContextMadeCurrent.

#include <cstdint>

namespace brumelo::gles1 {

struct Counters {
    std::uint64_t draws = 0;  // draws that reached the GL below
    std::uint64_t calls = 0;  // calls made to the GL below
};

// Totals over all contexts since the program started (draws held back are sent first).
Counters counters();

// Draws of one state in a row are held back and sent as one with the next call below. A frame
// shown without a GL call (a browser shows its canvas when the turn returns) sends them first.
void sendDraws();

// Where contexts can be lost (WebGL), contexts made from now on keep what they need to make
// their objects again: uploaded pictures, buffer sizes, attachments.
void keepObjectsForRestore(bool on);
// The current context reads back the textures drawn into since last asked (steam lives only
// there); true when any was. Costs a read of each: called now and then, and before hiding.
bool keepRenderedTextures();
// After the current context was lost and restored, with every texture, frame buffer, render
// buffer and buffer name valid again (empty objects): fills them as they were, from the
// pictures kept, and sends the layer's state below again.
bool restoreObjects();

}  // namespace brumelo::gles1
