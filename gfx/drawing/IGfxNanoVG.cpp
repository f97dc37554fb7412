// The NanoVG backend on OpenGL 2: the context and the main framebuffer, the
// frame, and the fonts. Bitmaps and their tiles are in IGfxNanoVGBitmaps.cpp,
// the other drawing operations in IGfxNanoVGDrawing.cpp.

#include "gfx/drawing/IGfxNanoVG.h"

#include "gfx/drawing/NanoVGIncludes.h"

#include "gfx/ScopedContext.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace gfx {

namespace {

// Frames whose drawn areas are kept for windows whose back buffer is older
// than the last frame; an older buffer is refreshed whole.
constexpr size_t kFramesRemembered = 4;

// GL_MESA_pack_invert: glReadPixels returns the top row first.
constexpr GLenum kPackInvert = 0x8758;

bool HasExtension(const char* name)
{
  const auto* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  const size_t length = std::strlen(name);
  for (const char* found = list; found && (found = std::strstr(found, name)); found += length)
    if ((found == list || found[-1] == ' ') && (found[length] == ' ' || found[length] == '\0'))
      return true;
  return false;
}

bool IsMesaSoftwareRenderer()
{
  // They all read pixels turned over (GL_MESA_pack_invert); the check is for certainty.
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe")) &&
         HasExtension("GL_MESA_pack_invert");
}

} // namespace

// --- Context and frame ------------------------------------------------------------------------

IGfxNanoVG::IGfxNanoVG(plug::IGfxEditorDelegate* delegate, int width, int height, int fps, float scale)
  : IGfx(delegate, width, height, fps, scale)
{
}

IGfxNanoVG::~IGfxNanoVG()
{
  // Normally the platform has already called OnContextDestroyed with its GL
  // context current; this is the last chance while the GL objects can still go.
  if (mVG)
    IGfxNanoVG::OnContextDestroyed();
}

int IGfxNanoVG::BackingWidth() const
{
  return DeviceWidth();
}

int IGfxNanoVG::BackingHeight() const
{
  return DeviceHeight();
}

unsigned IGfxNanoVG::MainFramebuffer() const
{
  return mMainFramebuffer ? mMainFramebuffer->fbo : 0;
}

void IGfxNanoVG::OnContextCreated(void* /*platformContext*/)
{
  if (mVG)
    return;
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
  mWindowFramebuffer = static_cast<unsigned>(bound);
  mVG = nvgCreateGL2(NVG_ANTIALIAS);
  mDrawnBefore.clear();
  mPresentsPixels = mVG && !mPreferGLPresentation && IsMesaSoftwareRenderer() && CanPutPixelsInWindow();
  if (mVG)
    MakeMainFramebuffer();
}

void IGfxNanoVG::OnContextDestroyed()
{
  ClearControls(); // controls may hold layers
  ClearBitmapCache();
  if (mVG)
  {
    mInFrame = false;
    FlushDeferredDeletions();
    DeleteMainFramebuffer();
    nvgDeleteGL2(mVG);
    mVG = nullptr;
  }
  ++mContextGeneration;
}

void IGfxNanoVG::OnBackingResized()
{
  mDrawnBefore.clear(); // a new framebuffer: the window's buffers hold nothing of it yet
  DeleteMainFramebuffer();
  if (mVG)
    MakeMainFramebuffer();
}

void IGfxNanoVG::MakeMainFramebuffer()
{
  const int w = BackingWidth(), h = BackingHeight();
  if (w < 1 || h < 1)
    return;
  mMainFramebuffer = nvgluCreateFramebuffer(mVG, w, h, 0);
  mFramebufferWhole = false;
  if (!mMainFramebuffer)
    return;
  // A new framebuffer starts transparent, not with whatever the GPU had there.
  glBindFramebuffer(GL_FRAMEBUFFER, mMainFramebuffer->fbo);
  glViewport(0, 0, w, h);
  glClearColor(0.f, 0.f, 0.f, 0.f);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glBindFramebuffer(GL_FRAMEBUFFER, mInFrame ? mMainFramebuffer->fbo : mWindowFramebuffer);
}

void IGfxNanoVG::DeleteMainFramebuffer()
{
  if (!mMainFramebuffer)
    return;
  ReleaseFramebuffer(mMainFramebuffer);
  mMainFramebuffer = nullptr;
}

void IGfxNanoVG::ReleaseFramebuffer(NVGLUframebuffer* framebuffer)
{
  // A framebuffer may still be the target of drawing NanoVG has not flushed.
  std::lock_guard<std::mutex> lock(mBackendMutex);
  if (mInFrame)
    mDeferredDeletions.push_back(framebuffer);
  else
    nvgluDeleteFramebuffer(framebuffer);
}

void IGfxNanoVG::FlushDeferredDeletions()
{
  std::lock_guard<std::mutex> lock(mBackendMutex);
  for (NVGLUframebuffer* framebuffer : mDeferredDeletions)
    nvgluDeleteFramebuffer(framebuffer);
  mDeferredDeletions.clear();
}

void IGfxNanoVG::StartFrame()
{
  IGfx::StartFrame();
  mInFrame = true;
  if (!mVG)
    return;
  BindDrawingTarget();
}

void IGfxNanoVG::BindDrawingTarget()
{
  mClip = IArea(); // a new NanoVG frame starts without a scissor
  const float displayScale = DisplayScale();
  if (const IOffscreenLayer* layer = TopLayer())
  {
    const auto* bitmap = static_cast<const Bitmap*>(layer->bitmap.get());
    glViewport(0, 0, bitmap->GetWidth(), bitmap->GetHeight());
    glBindFramebuffer(GL_FRAMEBUFFER, bitmap->Framebuffer()->fbo);
    nvgBeginFrame(mVG, bitmap->GetWidth() / displayScale, bitmap->GetHeight() / displayScale, displayScale);
    return;
  }
  glViewport(0, 0, BackingWidth(), BackingHeight());
  glBindFramebuffer(GL_FRAMEBUFFER, mMainFramebuffer ? mMainFramebuffer->fbo : mWindowFramebuffer);
  nvgBeginFrame(mVG, static_cast<float>(static_cast<int>(GetWidth() * GetDrawScale())),
                static_cast<float>(static_cast<int>(GetHeight() * GetDrawScale())), displayScale);
}

void IGfxNanoVG::FinishFrame()
{
  if (mVG)
  {
    nvgEndFrame(mVG);
    if (mMainFramebuffer)
    {
      mFramebufferWhole = mFramebufferWhole || CoversWholeEditor(FrameAreas());
      CopyToWindow(AreasToCopy());
    }
  }
  mInFrame = false;
  if (mVG)
    FlushDeferredDeletions();
}

bool IGfxNanoVG::FramebufferHoldsWholeFrame() const
{
  return mVG && mMainFramebuffer && mFramebufferWhole;
}

void IGfxNanoVG::ForgetWindowContents()
{
  mDrawnBefore.clear();
}

void IGfxNanoVG::CopyWholeFrameToWindow()
{
  if (!mVG || !mMainFramebuffer)
    return;
  ForgetWindowContents(); // the window's other buffers hold none of it
  CopyToWindow({WholeEditor()});
}

IAreaList IGfxNanoVG::AreasToCopy()
{
  const IAreaList whole{WholeEditor()};
  const IAreaList& drawn = FrameAreas().empty() ? whole : FrameAreas();
  const size_t age = static_cast<size_t>(std::max(0, WindowBufferAge()));
  IAreaList areas;
  // The back buffer lacks what the frames after the one it holds drew.
  if (age == 0 || age > mDrawnBefore.size())
    areas = whole;
  else
  {
    areas = drawn;
    for (size_t i = 0; i + 1 < age; ++i)
      areas.insert(areas.end(), mDrawnBefore[i].begin(), mDrawnBefore[i].end());
    for (IArea& area : areas)
      area = area.Intersect(whole.front());
    areas.erase(std::remove_if(areas.begin(), areas.end(), [](const IArea& a) { return a.W() <= 0.f || a.H() <= 0.f; }),
                areas.end());
    OptimizeAreas(areas);
  }
  mDrawnBefore.insert(mDrawnBefore.begin(), drawn);
  if (mDrawnBefore.size() > kFramesRemembered)
    mDrawnBefore.pop_back();
  return areas;
}

std::vector<IGfxNanoVG::DeviceRect> IGfxNanoVG::DeviceRects(const IAreaList& areas) const
{
  const IArea bounds(0.f, 0.f, static_cast<float>(BackingWidth()), static_cast<float>(BackingHeight()));
  std::vector<DeviceRect> rects;
  for (const IArea& area : areas)
  {
    const IArea device = ToDevicePixels(area).Intersect(bounds);
    if (device.W() > 0.f && device.H() > 0.f)
      rects.push_back({static_cast<int>(device.L), static_cast<int>(device.T), static_cast<int>(device.W()),
                       static_cast<int>(device.H())});
  }
  return rects;
}

void IGfxNanoVG::CopyToWindow(const IAreaList& areas)
{
  mCopiedAreas = areas;
  if (mPresentsPixels)
  {
    PutAreasInWindow(areas);
    return;
  }
  // A blit of whole device pixels: no blending, and the panel's pixels as they are.
  const int height = BackingHeight();
  glBindFramebuffer(GL_READ_FRAMEBUFFER, mMainFramebuffer->fbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, mWindowFramebuffer);
  glDisable(GL_SCISSOR_TEST); // a blit is clipped by the scissor as drawing is
  for (const DeviceRect& r : DeviceRects(areas))
  {
    const GLint left = r.left, right = r.left + r.width;
    const GLint bottom = height - (r.top + r.height), top = height - r.top;
    glBlitFramebuffer(left, bottom, right, top, left, bottom, right, top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  glBindFramebuffer(GL_FRAMEBUFFER, mWindowFramebuffer);
}

void IGfxNanoVG::PutAreasInWindow(const IAreaList& areas)
{
  int rowBytes = 0;
  bool topFirst = false;
  uint8_t* image = WindowImage(rowBytes, topFirst);
  if (!image)
    return;
  const int height = BackingHeight();
  glBindFramebuffer(GL_FRAMEBUFFER, mMainFramebuffer->fbo);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, rowBytes / 4);
  // GL reads rows from the bottom up; Mesa turns them over as it reads.
  glPixelStorei(kPackInvert, topFirst ? GL_TRUE : GL_FALSE);
  for (const DeviceRect& r : DeviceRects(areas))
  {
    const int bottom = height - (r.top + r.height);
    const int firstRow = topFirst ? r.top : bottom;
    glReadPixels(r.left, bottom, r.width, r.height, GL_BGRA, GL_UNSIGNED_BYTE,
                 image + static_cast<size_t>(firstRow) * rowBytes + static_cast<size_t>(r.left) * 4);
    PutWindowImage(r.left, r.top, r.width, r.height);
  }
  glPixelStorei(kPackInvert, GL_FALSE);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, mWindowFramebuffer);
}

bool IGfxNanoVG::CaptureFrame(plug::IEditorFrame& frame)
{
  if (!mVG || !mMainFramebuffer)
    return false;
  int w = 0, h = 0;
  std::vector<uint8_t> rows;
  bool read = false;
  {
    ScopedContext current(*this);
    // The tick delivers what the plug-in sent meanwhile and runs the display
    // tick, exactly as the frame clock would; then everything is drawn, not
    // only what the tick found dirty.
    IAreaList dirty;
    TickFrame(NowMs(), dirty);
    RenderAreas({WholeEditor()});

    w = BackingWidth();
    h = BackingHeight();
    rows.resize(static_cast<size_t>(w) * h * 4);
    // Errors left by earlier calls are not the read's.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i)
      continue;
    glBindFramebuffer(GL_FRAMEBUFFER, mMainFramebuffer->fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    glBindFramebuffer(GL_FRAMEBUFFER, mWindowFramebuffer);
    read = glGetError() == GL_NO_ERROR;
  }
  if (!read)
    return false;

  // GL's rows run from the bottom up.
  frame.width = w;
  frame.height = h;
  frame.rgba.resize(rows.size());
  const size_t stride = static_cast<size_t>(w) * 4;
  for (int row = 0; row < h; ++row)
    std::copy_n(&rows[(h - 1 - row) * stride], stride, &frame.rgba[row * stride]);
  return true;
}

// --- Resources --------------------------------------------------------------------------------

bool IGfxNanoVG::LoadBackendFont(const char* fontId, const FontData& font)
{
  if (!mVG || !fontId || font.bytes.empty() || !font.descriptor.IsValid())
    return false;
  if (nvgFindFont(mVG, fontId) >= 0)
    return true;
  // The bytes stay in the process-wide font cache while any context uses them.
  auto* data = const_cast<unsigned char*>(font.bytes.data());
  return nvgCreateFontMemAtIndex(mVG, fontId, data, static_cast<int>(font.bytes.size()), 0,
                                 font.descriptor.faceIndex) >= 0;
}

} // namespace gfx
