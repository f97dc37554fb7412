#include "gfx/platforms/PlatformGraphics.h"

#include "gfx/platforms/platforms.h"

#include "plug/ModuleResources.h"

namespace gfx {

std::unique_ptr<IGfx> MakePlatformGraphics(plug::IGfxEditorDelegate* delegate, int width, int height, int fps,
                                           float scale)
{
#ifdef _WIN32
  auto g = std::make_unique<IGfxWin>(delegate, width, height, fps, scale);
  // The window class and resources belong to the module the editor lives in.
  g->SetModuleHandle(plug::CurrentModule());
  return g;
#else
  return std::make_unique<IGfxLinux>(delegate, width, height, fps, scale);
#endif
}

} // namespace gfx
