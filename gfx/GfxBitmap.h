#pragma once

// Bitmaps as the graphics layer sees them. APIBitmap is the drawing backend's
// own image (a texture, a framebuffer); it belongs to exactly one cache or
// layer, which deletes it. IBitmapRef is the non-owning handle that controls
// keep: the backend bitmap plus its size in unscaled pixels and its frames.

#include "gfx/GfxTypes.h"

#include <memory>
#include <string>

namespace gfx {

class IControl;

/** A backend image; subclasses add the backend's handles and release them in their destructor. */
class APIBitmap
{
public:
  APIBitmap() = default;
  /** width and height in device pixels; scale = device pixels per unscaled pixel of the source image. */
  APIBitmap(int width, int height, float scale, float drawScale)
    : mWidth(width), mHeight(height), mScale(scale), mDrawScale(drawScale)
  {
  }
  virtual ~APIBitmap() = default;
  APIBitmap(const APIBitmap&) = delete;
  APIBitmap& operator=(const APIBitmap&) = delete;

  int GetWidth() const { return mWidth; }
  int GetHeight() const { return mHeight; }
  float GetScale() const { return mScale; }
  /** 1 unless the bitmap is a layer drawn at a draw scale. */
  float GetDrawScale() const { return mDrawScale; }

protected:
  int mWidth = 0;
  int mHeight = 0;
  float mScale = 1.f;
  float mDrawScale = 1.f;
};

/** Non-owning handle of a loaded bitmap. An empty handle has no bitmap, size 0 and no name. */
class IBitmapRef
{
public:
  IBitmapRef() = default;
  IBitmapRef(APIBitmap* bitmap, int nFrames, bool framesAreHorizontal, const std::string& name)
    : mBitmap(bitmap), mFrames(nFrames < 1 ? 1 : nFrames), mHorizontal(framesAreHorizontal), mName(name)
  {
    if (bitmap && bitmap->GetScale() > 0.f)
    {
      mW = static_cast<int>(bitmap->GetWidth() / bitmap->GetScale());
      mH = static_cast<int>(bitmap->GetHeight() / bitmap->GetScale());
    }
  }

  APIBitmap* GetAPIBitmap() const { return mBitmap; }
  bool IsValid() const { return mBitmap != nullptr; }
  /** Size in unscaled pixels: image pixels divided by the bitmap's scale, truncated. */
  int W() const { return mW; }
  int H() const { return mH; }
  int N() const { return mFrames; }
  bool GetFramesAreHorizontal() const { return mHorizontal; }
  /** Size of one frame in unscaled pixels (integer division). */
  int FrameWidth() const { return mHorizontal ? mW / mFrames : mW; }
  int FrameHeight() const { return mHorizontal ? mH : mH / mFrames; }
  const std::string& GetName() const { return mName; }
  float GetScale() const { return mBitmap ? mBitmap->GetScale() : 1.f; }
  float GetDrawScale() const { return mBitmap ? mBitmap->GetDrawScale() : 1.f; }

private:
  APIBitmap* mBitmap = nullptr;
  int mW = 0;
  int mH = 0;
  int mFrames = 1;
  bool mHorizontal = false;
  std::string mName;
};

using IBitmap = IBitmapRef;

/** An offscreen drawing target: a backend bitmap, the control it was made for, its bounds. */
struct IOffscreenLayer
{
  std::unique_ptr<APIBitmap> bitmap;
  IControl* control = nullptr;
  IArea controlArea; // the control's area when the layer was made
  IArea bounds;      // pixel-aligned, unscaled
  bool invalid = false;
};

using ILayerPtr = std::unique_ptr<IOffscreenLayer>;

} // namespace gfx
