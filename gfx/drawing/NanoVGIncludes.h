#pragma once

// NanoVG with its OpenGL 2 renderer and framebuffer helpers, for C++ code,
// on the GL functions of the glad loader (compiled in NanoVGGL2.c).

#include <glad/gl.h>

#include <nanovg.h>
#include <nanovg_gl.h>
extern "C" {
#include <nanovg_gl_utils.h>
}
