#include "TestGfx.h"

#include "gfx/drawing/NanoVGIncludes.h"

namespace gfxtest {

DrawingFixture DrawingFixture::Open(int width, int height, float drawScale, std::string& error,
                                    std::unique_ptr<TestGfx::PixelWindow> pixelWindow)
{
  DrawingFixture f;
  const int w = static_cast<int>(width * drawScale), h = static_cast<int>(height * drawScale);
  f.gl = GLTestContext::Open(w, h, error);
  if (!f.gl)
    return f;
  f.g = std::make_unique<TestGfx>(width, height, drawScale);
  f.g->pixelWindow = std::move(pixelWindow);
  f.g->OnContextCreated(nullptr);
  if (!f.g->DrawContext() || !f.g->MainFramebuffer())
  {
    error = "NanoVG could not make its context or main framebuffer";
    f.g.reset();
    f.gl.reset();
  }
  return f;
}

Image DrawingFixture::Render(const FunctionControl::PaintFunc& paint)
{
  g->ClearControls();
  g->AddControl(new FunctionControl(gfx::IArea(0.f, 0.f, float(g->GetWidth()), float(g->GetHeight())), paint));
  return RenderAreas({gfx::IArea(0.f, 0.f, float(g->GetWidth()), float(g->GetHeight()))});
}

Image DrawingFixture::RenderAreas(const gfx::IAreaList& areas)
{
  g->RenderAreas(areas);
  return ReadWindow();
}

Image DrawingFixture::ReadWindow() const
{
  glBindFramebuffer(GL_FRAMEBUFFER, g->WindowFramebuffer());
  glFinish();
  return ReadFramebuffer(gl->Height(), 0, 0, g->BackingWidth(), g->BackingHeight());
}

} // namespace gfxtest
