#pragma once

namespace gfx {

class IGfx;

/**
 * Makes the editor's GL context current for a scope and restores the one that
 * was current before (the host's own, or none) when it ends. Every piece of
 * code that touches GL outside the frame goes through one of these.
 * The platform keeps one saved context: a guard opened inside another (a
 * bitmap requested while the layout is built) overwrites what the outer one
 * saved.
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
