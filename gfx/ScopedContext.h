#pragma once

namespace gfx {

class IGfx;

/**
 * Makes the editor's GL context current for a scope and restores the one that
 * was current when the scope began (the host's own, or none) when it ends.
 * Every piece of code that touches GL outside the frame goes through one of
 * these. Guards nest: one opened inside another (a bitmap requested while the
 * layout is built) gives back what was current when it began, the editor's
 * own, and the outer one then gives back the host's.
 */
class ScopedContext
{
public:
  explicit ScopedContext(IGfx& g);
  ~ScopedContext();
  ScopedContext(const ScopedContext&) = delete;
  ScopedContext& operator=(const ScopedContext&) = delete;

private:
  IGfx& mGfx;
};

} // namespace gfx
