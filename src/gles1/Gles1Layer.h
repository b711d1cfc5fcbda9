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

// Totals over all contexts since the program started.
Counters counters();

}  // namespace brumelo::gles1
