// The NanoVG backend's bitmaps: images cut into tiles within the texture
// size limit, strips whose tiles are uploaded when a frame of theirs is first
// drawn, and blitting them.

#include "gfx/drawing/IGfxNanoVG.h"

#include "gfx/drawing/NanoVGIncludes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace gfx {

namespace {

// Rows and columns each tile of a large image shares with its neighbours:
// linear filtering reads one pixel beyond the part a tile draws, two leave
// room for rounding in the texture coordinates.
constexpr int kTileMargin = 2;

// Frames of a strip in one texture (see LoadBackendStrip).
constexpr int kFramesPerTile = 4;

} // namespace

// --- Bitmaps ----------------------------------------------------------------------------------

IGfxNanoVG::Bitmap::Bitmap(IGfxNanoVG& owner, std::vector<Tile> tiles, int width, int height, float scale,
                           SharedImage pixels)
  : APIBitmap(width, height, scale, 1.f), mOwner(owner), mContextGeneration(owner.mContextGeneration),
    mTiles(std::move(tiles)), mPixels(std::move(pixels))
{
}

int IGfxNanoVG::Bitmap::TileImage(size_t index) const
{
  Tile& tile = mTiles[index];
  if (tile.image == 0 && mPixels && mOwner.mContextGeneration == mContextGeneration)
  {
    tile.image = mOwner.UploadTile(*mPixels, tile);
    if (UploadedTileCount() == static_cast<int>(mTiles.size()))
      mPixels.reset(); // every tile is a texture now
  }
  return tile.image;
}

int IGfxNanoVG::Bitmap::UploadedTileCount() const
{
  return static_cast<int>(std::count_if(mTiles.begin(), mTiles.end(), [](const Tile& t) { return t.image != 0; }));
}

IGfxNanoVG::Bitmap::Bitmap(IGfxNanoVG& owner, NVGLUframebuffer* framebuffer, int width, int height, float scale,
                           float drawScale)
  : APIBitmap(width, height, scale, drawScale), mOwner(owner), mContextGeneration(owner.mContextGeneration),
    mFramebuffer(framebuffer)
{
  mTiles.push_back({framebuffer->image, 0, 0, width, height, 0, 0, width, height});
}

IGfxNanoVG::Bitmap::~Bitmap()
{
  // Textures of a NanoVG context that is gone went with it.
  const bool alive = mOwner.mVG && mOwner.mContextGeneration == mContextGeneration;
  if (mFramebuffer)
  {
    if (alive)
      mOwner.ReleaseFramebuffer(mFramebuffer);
    else
      std::free(mFramebuffer);
    return;
  }
  if (alive)
  {
    for (const Tile& tile : mTiles)
      if (tile.image)
        nvgDeleteImage(mOwner.mVG, tile.image);
  }
}

int IGfxNanoVG::TextureSizeLimit() const
{
  GLint limit = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
  if (mTextureLimit > 0)
    limit = std::min(limit, static_cast<GLint>(mTextureLimit));
  return std::max(static_cast<int>(limit), 4 * kTileMargin + 1);
}

// Tiles of at most the texture size limit, their drawn parts `stepX` x
// `stepY` pixels at most, each with the margins filtering reads beyond them.
std::vector<IGfxNanoVG::Bitmap::Tile> IGfxNanoVG::PlanTiles(int width, int height, int stepX, int stepY) const
{
  const int limit = TextureSizeLimit();
  // Where the tiles of one direction start and how much each draws.
  auto spans = [limit](int size, int step) {
    std::vector<std::pair<int, int>> result;
    if (step <= 0 || step > size)
      step = size;
    // A tile inside the image carries a margin on either side, and the whole still fits the limit.
    if (step == size ? size > limit : step > limit - 2 * kTileMargin)
      step = limit - 2 * kTileMargin;
    for (int start = 0; start < size; start += step)
      result.push_back({start, std::min(step, size - start)});
    return result;
  };
  std::vector<Bitmap::Tile> tiles;
  for (const auto& [ownY, ownH] : spans(height, stepY))
  {
    for (const auto& [ownX, ownW] : spans(width, stepX))
    {
      Bitmap::Tile tile;
      tile.ownX = ownX, tile.ownY = ownY, tile.ownW = ownW, tile.ownH = ownH;
      tile.x = std::max(0, ownX - kTileMargin);
      tile.y = std::max(0, ownY - kTileMargin);
      tile.w = std::min(width, ownX + ownW + kTileMargin) - tile.x;
      tile.h = std::min(height, ownY + ownH + kTileMargin) - tile.y;
      tiles.push_back(tile);
    }
  }
  return tiles;
}

int IGfxNanoVG::UploadTile(const DecodedImage& image, const Bitmap::Tile& tile)
{
  if (!mVG)
    return 0;
  // Whole rows lie in one piece in the image; other tiles are gathered first.
  const uint8_t* pixels = &image.rgba[static_cast<size_t>(tile.y) * image.width * 4];
  std::vector<uint8_t> part;
  if (tile.w != image.width)
  {
    part.resize(static_cast<size_t>(tile.w) * tile.h * 4);
    for (int row = 0; row < tile.h; ++row)
      std::memcpy(&part[static_cast<size_t>(row) * tile.w * 4],
                  &image.rgba[(static_cast<size_t>(tile.y + row) * image.width + tile.x) * 4],
                  static_cast<size_t>(tile.w) * 4);
    pixels = part.data();
  }
  return nvgCreateImageRGBA(mVG, tile.w, tile.h, 0, pixels);
}

std::unique_ptr<APIBitmap> IGfxNanoVG::LoadBackendBitmap(const DecodedImage& image, float scale)
{
  if (!mVG || !image.IsValid())
    return nullptr;
  std::vector<Bitmap::Tile> tiles = PlanTiles(image.width, image.height, 0, 0);
  for (Bitmap::Tile& tile : tiles)
  {
    tile.image = UploadTile(image, tile);
    if (tile.image == 0)
    {
      for (const Bitmap::Tile& made : tiles)
        if (made.image)
          nvgDeleteImage(mVG, made.image);
      return nullptr;
    }
  }
  return std::make_unique<Bitmap>(*this, std::move(tiles), image.width, image.height, scale);
}

// A strip's tiles hold whole frames, kFramesPerTile at most, and are uploaded
// when a frame of theirs is first drawn: an editor opens with the frames its
// controls show, not the whole strip of every knob and meter.
std::unique_ptr<APIBitmap> IGfxNanoVG::LoadBackendStrip(const SharedImage& image, float scale, int nFrames,
                                                        bool framesAreHorizontal)
{
  if (!mVG || !image || !image->IsValid())
    return nullptr;
  const int frameLength = nFrames > 1 ? (framesAreHorizontal ? image->width : image->height) / nFrames : 0;
  if (frameLength < 1)
    return LoadBackendBitmap(*image, scale);
  const int step = frameLength * kFramesPerTile;
  std::vector<Bitmap::Tile> tiles =
    PlanTiles(image->width, image->height, framesAreHorizontal ? step : 0, framesAreHorizontal ? 0 : step);
  return std::make_unique<Bitmap>(*this, std::move(tiles), image->width, image->height, scale, image);
}

namespace {

// The part of the destination a tile draws, for a bitmap whose top left lands at (originX, originY).
IArea OwnedArea(const IGfxNanoVG::Bitmap::Tile& tile, float originX, float originY, float scale)
{
  return IArea(originX + tile.ownX / scale, originY + tile.ownY / scale, originX + (tile.ownX + tile.ownW) / scale,
               originY + (tile.ownY + tile.ownH) / scale);
}

bool IsEmpty(const IArea& area)
{
  return area.W() <= 0.f || area.H() <= 0.f;
}

} // namespace

void IGfxNanoVG::DrawTile(const Bitmap& bitmap, size_t index, float originX, float originY, float scale,
                          const IArea& rect, float alpha)
{
  const Bitmap::Tile& tile = bitmap.Tiles()[index];
  const int image = bitmap.TileImage(index);
  if (image == 0)
    return;
  const NVGpaint paint = nvgImagePattern(mVG, originX + tile.x / scale, originY + tile.y / scale, tile.w / scale,
                                         tile.h / scale, 0.f, image, alpha);
  nvgBeginPath(mVG);
  nvgRect(mVG, rect.L, rect.T, rect.W(), rect.H());
  nvgFillPaint(mVG, paint);
  nvgFill(mVG);
}

void IGfxNanoVG::BlitBitmap(const IBitmap& bitmap, const IArea& dest, int srcX, int srcY, const IBlendMode* blend)
{
  const auto* api = static_cast<const Bitmap*>(bitmap.GetAPIBitmap());
  if (!mVG || !api)
    return;
  const float scale = api->GetScale() * api->GetDrawScale();
  const float originX = dest.L - srcX, originY = dest.T - srcY;
  // NanoVG clips in the fragment shader, so a bitmap under a small dirty
  // area (the background, most of all) would be shaded whole. Without
  // rotation the rectangle is cut to the clip first.
  IArea visible = dest;
  const ITransform2D& m = CurrentTransform();
  if (!mClip.Empty() && m.xy == 0.0 && m.yx == 0.0 && m.xx != 0.0 && m.yy != 0.0)
  {
    const float x1 = static_cast<float>((mClip.L - m.tx) / m.xx), x2 = static_cast<float>((mClip.R - m.tx) / m.xx);
    const float y1 = static_cast<float>((mClip.T - m.ty) / m.yy), y2 = static_cast<float>((mClip.B - m.ty) / m.yy);
    visible = dest.Intersect(IArea(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)));
    if (IsEmpty(visible))
      return;
  }
  // A part within one tile (a strip's frame, most of all) is drawn as from
  // one texture; only a part across tiles is cut at their edges.
  const std::vector<Bitmap::Tile>& tiles = api->Tiles();
  size_t touched = 0, first = 0;
  for (size_t i = 0; i < tiles.size(); ++i)
    if (!IsEmpty(visible.Intersect(OwnedArea(tiles[i], originX, originY, scale))) && touched++ == 0)
      first = i;
  if (tiles.size() > 1 && touched == 0)
    return;
  nvgSave(mVG);
  SetBlend(blend);
  if (tiles.size() == 1 || touched == 1)
    DrawTile(*api, first, originX, originY, scale, visible, BlendWeight(blend));
  else
  {
    nvgShapeAntiAlias(mVG, 0); // neighbouring tiles must not each fade out at their shared edge
    for (size_t i = 0; i < tiles.size(); ++i)
    {
      const IArea rect = visible.Intersect(OwnedArea(tiles[i], originX, originY, scale));
      if (!IsEmpty(rect))
        DrawTile(*api, i, originX, originY, scale, rect, BlendWeight(blend));
    }
  }
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  nvgRestore(mVG);
}

} // namespace gfx
