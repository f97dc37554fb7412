// GL objects of the NanoVG backend do not outlive its context: 1,000 times a
// NanoVG context is made, loads an image (split into tiles by a small texture
// limit) and a font, draws a frame with a layer and text and is destroyed
// again, and the GL objects it made are counted through the loader's function
// pointers.

#include "TestGfx.h"

#include "gfx/drawing/NanoVGIncludes.h"

#include <gtest/gtest.h>

#include <set>

namespace gfxtest {
namespace {

// Names of live objects by kind, kept up to date by wrappers around glad's
// entry points (every GL call of NanoVG and the backend goes through them).
struct LiveObjects
{
  std::set<GLuint> textures, framebuffers, renderbuffers, buffers, programs, shaders;
  size_t Total() const
  {
    return textures.size() + framebuffers.size() + renderbuffers.size() + buffers.size() + programs.size() +
           shaders.size();
  }
};
LiveObjects gLive;

PFNGLGENTEXTURESPROC realGenTextures;
PFNGLDELETETEXTURESPROC realDeleteTextures;
PFNGLGENFRAMEBUFFERSPROC realGenFramebuffers;
PFNGLDELETEFRAMEBUFFERSPROC realDeleteFramebuffers;
PFNGLGENRENDERBUFFERSPROC realGenRenderbuffers;
PFNGLDELETERENDERBUFFERSPROC realDeleteRenderbuffers;
PFNGLGENBUFFERSPROC realGenBuffers;
PFNGLDELETEBUFFERSPROC realDeleteBuffers;
PFNGLCREATEPROGRAMPROC realCreateProgram;
PFNGLDELETEPROGRAMPROC realDeleteProgram;
PFNGLCREATESHADERPROC realCreateShader;
PFNGLDELETESHADERPROC realDeleteShader;

void Add(std::set<GLuint>& live, GLsizei n, const GLuint* names)
{
  for (GLsizei i = 0; i < n; ++i)
    live.insert(names[i]);
}
void Remove(std::set<GLuint>& live, GLsizei n, const GLuint* names)
{
  for (GLsizei i = 0; i < n; ++i)
    live.erase(names[i]);
}

void GLAD_API_PTR GenTextures(GLsizei n, GLuint* names) { realGenTextures(n, names); Add(gLive.textures, n, names); }
void GLAD_API_PTR DeleteTextures(GLsizei n, const GLuint* names) { Remove(gLive.textures, n, names); realDeleteTextures(n, names); }
void GLAD_API_PTR GenFramebuffers(GLsizei n, GLuint* names) { realGenFramebuffers(n, names); Add(gLive.framebuffers, n, names); }
void GLAD_API_PTR DeleteFramebuffers(GLsizei n, const GLuint* names) { Remove(gLive.framebuffers, n, names); realDeleteFramebuffers(n, names); }
void GLAD_API_PTR GenRenderbuffers(GLsizei n, GLuint* names) { realGenRenderbuffers(n, names); Add(gLive.renderbuffers, n, names); }
void GLAD_API_PTR DeleteRenderbuffers(GLsizei n, const GLuint* names) { Remove(gLive.renderbuffers, n, names); realDeleteRenderbuffers(n, names); }
void GLAD_API_PTR GenBuffers(GLsizei n, GLuint* names) { realGenBuffers(n, names); Add(gLive.buffers, n, names); }
void GLAD_API_PTR DeleteBuffers(GLsizei n, const GLuint* names) { Remove(gLive.buffers, n, names); realDeleteBuffers(n, names); }
GLuint GLAD_API_PTR CreateProgram() { const GLuint p = realCreateProgram(); gLive.programs.insert(p); return p; }
void GLAD_API_PTR DeleteProgram(GLuint p) { gLive.programs.erase(p); realDeleteProgram(p); }
GLuint GLAD_API_PTR CreateShader(GLenum type) { const GLuint s = realCreateShader(type); gLive.shaders.insert(s); return s; }
void GLAD_API_PTR DeleteShader(GLuint s) { gLive.shaders.erase(s); realDeleteShader(s); }

class CountingGL
{
public:
  CountingGL()
  {
    Swap(glad_glGenTextures, realGenTextures, GenTextures);
    Swap(glad_glDeleteTextures, realDeleteTextures, DeleteTextures);
    Swap(glad_glGenFramebuffers, realGenFramebuffers, GenFramebuffers);
    Swap(glad_glDeleteFramebuffers, realDeleteFramebuffers, DeleteFramebuffers);
    Swap(glad_glGenRenderbuffers, realGenRenderbuffers, GenRenderbuffers);
    Swap(glad_glDeleteRenderbuffers, realDeleteRenderbuffers, DeleteRenderbuffers);
    Swap(glad_glGenBuffers, realGenBuffers, GenBuffers);
    Swap(glad_glDeleteBuffers, realDeleteBuffers, DeleteBuffers);
    Swap(glad_glCreateProgram, realCreateProgram, CreateProgram);
    Swap(glad_glDeleteProgram, realDeleteProgram, DeleteProgram);
    Swap(glad_glCreateShader, realCreateShader, CreateShader);
    Swap(glad_glDeleteShader, realDeleteShader, DeleteShader);
  }
  ~CountingGL()
  {
    glad_glGenTextures = realGenTextures;
    glad_glDeleteTextures = realDeleteTextures;
    glad_glGenFramebuffers = realGenFramebuffers;
    glad_glDeleteFramebuffers = realDeleteFramebuffers;
    glad_glGenRenderbuffers = realGenRenderbuffers;
    glad_glDeleteRenderbuffers = realDeleteRenderbuffers;
    glad_glGenBuffers = realGenBuffers;
    glad_glDeleteBuffers = realDeleteBuffers;
    glad_glCreateProgram = realCreateProgram;
    glad_glDeleteProgram = realDeleteProgram;
    glad_glCreateShader = realCreateShader;
    glad_glDeleteShader = realDeleteShader;
  }

private:
  template <class F>
  static void Swap(F& entry, F& real, F wrapper)
  {
    real = entry;
    entry = wrapper;
  }
};

TEST(NanoVGContext, LeavesNoGLObjectsBehindOverAThousandOpenCloseCycles)
{
  std::string error;
  auto gl = GLTestContext::Open(64, 64, error);
  ASSERT_TRUE(gl) << error;
  CountingGL counting;
  gLive = {};
  TestGfx g(64, 64);
  size_t mostAlive = 0;
  for (int cycle = 0; cycle < 1000; ++cycle)
  {
    g.OnContextCreated(nullptr);
    ASSERT_NE(g.DrawContext(), nullptr) << "cycle " << cycle;
    g.LimitTextureSize(16); // the switch image (92 x 104) becomes a grid of tiles
    ASSERT_TRUE(g.RequestBitmap("SWITCH.png", 2).IsValid()) << "cycle " << cycle;
    ASSERT_TRUE(g.RequestFont("Roboto-Regular", "Roboto-Regular.ttf"));
    g.AddControl(new FunctionControl(gfx::IArea(0.f, 0.f, 64.f, 64.f), [](gfx::IGfx& gfx, const gfx::IArea& area) {
      gfx.BlitBitmap(gfx.RequestBitmap("SWITCH.png", 2), area, 0, 0);
      gfx.OpenLayer(nullptr, area);
      gfx.PrintText(gfx::ITextStyle(), "7", area);
      gfx::ILayerPtr layer = gfx.CloseLayer();
      gfx.DrawLayer(layer);
    }));
    g.RenderAreas({gfx::IArea(0.f, 0.f, 64.f, 64.f)});
    mostAlive = std::max(mostAlive, gLive.Total());
    g.OnContextDestroyed();
    ASSERT_EQ(gLive.Total(), 0u) << "cycle " << cycle << ": " << gLive.textures.size() << " textures, "
                                 << gLive.framebuffers.size() << " framebuffers, " << gLive.renderbuffers.size()
                                 << " renderbuffers, " << gLive.buffers.size() << " buffers, "
                                 << gLive.programs.size() << " programs, " << gLive.shaders.size() << " shaders alive";
  }
  // The count saw the objects of a working context (main and layer
  // framebuffers, image tiles, font atlas, shaders), so it was counting.
  EXPECT_GE(mostAlive, 8u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
} // namespace gfxtest
