#pragma once

// The NanoVG drawing backend on OpenGL 2.
//
// Every frame is drawn into an offscreen framebuffer the size of the editor in
// device pixels (the main framebuffer), so only dirty areas need redrawing and
// the rest survives from earlier frames; FinishFrame then copies it to the
// framebuffer that was bound when the NanoVG context was made (the window's).
// Offscreen layers are further framebuffers.
//
// The copy: when the platform knows what the window's back buffer still holds
// (WindowBufferAge: the frame presented that many swaps ago), only the areas
// drawn since then are copied; otherwise the whole framebuffer. On Mesa's
// software renderers a platform that can put pixels into its window gets the
// areas read into its window image instead (PresentsPixels), and presents
// them without GL.
//
// The class knows no window system. A subclass (the platform window, or a test
// fixture) owns the OpenGL context: it makes it current and calls
// OnContextCreated, OnBackingResized on size changes, StartFrame / drawing /
// FinishFrame, and OnContextDestroyed (GL context still current) before it
// destroys the GL context. GL functions come from the glad loader, which the
// subclass loads for its context.
//
// Large images: a texture cannot be larger than GL_MAX_TEXTURE_SIZE in either
// direction (16384 with Mesa, 8192 or less on some GPUs, while the 2x knob and
// needle strips are about 14 700 pixels tall). A bitmap larger than the limit
// is stored as a grid of tiles, each within the limit; every tile carries two
// extra rows and columns of its neighbours so that filtering across a tile
// edge reads the same pixels as from one texture, and BlitBitmap draws each
// tile's own part of the image without edge anti-aliasing, so the parts meet
// without a seam.

#include "gfx/IGfx.h"

#include <memory>
#include <mutex>
#include <vector>

struct NVGcontext;
struct NVGLUframebuffer;

namespace gfx {

class IGfxNanoVG : public IGfx
{
public:
  /** A NanoVG image (one or several textures) or, for a layer, a framebuffer. */
  class Bitmap : public APIBitmap
  {
  public:
    /** One texture of a tiled image: its NanoVG image and the pixels it holds and owns. */
    struct Tile
    {
      int image = 0; // 0 until uploaded
      int x = 0, y = 0, w = 0, h = 0;          // pixels held (with the margins)
      int ownX = 0, ownY = 0, ownW = 0, ownH = 0; // pixels drawn from this tile
    };

    /**
     * An image of width x height pixels made of tiles (a single tile when it
     * fits one texture). With pixels, tiles not uploaded yet are uploaded
     * from them when first asked for.
     */
    Bitmap(IGfxNanoVG& owner, std::vector<Tile> tiles, int width, int height, float scale,
           SharedImage pixels = nullptr);
    /** A layer: the framebuffer and its image. */
    Bitmap(IGfxNanoVG& owner, NVGLUframebuffer* framebuffer, int width, int height, float scale, float drawScale);
    ~Bitmap() override;

    const std::vector<Tile>& Tiles() const { return mTiles; }
    /** The tile's NanoVG image, uploaded now if it was not yet (GL context current); 0 if it cannot be. */
    int TileImage(size_t index) const;
    int UploadedTileCount() const;
    NVGLUframebuffer* Framebuffer() const { return mFramebuffer; }

  private:
    IGfxNanoVG& mOwner;
    unsigned mContextGeneration;
    mutable std::vector<Tile> mTiles; // tiles are uploaded when first drawn
    mutable SharedImage mPixels;      // while a tile is not uploaded
    NVGLUframebuffer* mFramebuffer = nullptr;
  };

  IGfxNanoVG(plug::IGfxEditorDelegate* delegate, int width, int height, int fps = 60, float scale = 1.f);
  ~IGfxNanoVG() override;

  // --- Context and frame (GL context current) ---------------------------------------------
  /** Creates the NanoVG context (anti-aliased) and the main framebuffer; the context stays null on failure. */
  void OnContextCreated(void* platformContext) override;
  /** Deletes the controls, this context's bitmaps, the main framebuffer and the NanoVG context. */
  void OnContextDestroyed() override;
  /** Makes a main framebuffer of the current device size (nothing without a context). */
  void OnBackingResized() override;
  void StartFrame() override;
  void FinishFrame() override;
  /** A frame tick, the whole editor drawn into the main framebuffer and read back from it. */
  bool CaptureFrame(plug::IEditorFrame& frame) override;
  bool InFrame() const { return mInFrame; }
  /** Device size of the main framebuffer: int(int(width x draw scale) x display scale). */
  int BackingWidth() const;
  int BackingHeight() const;
  /**
   * What the window's back buffer holds at FinishFrame: the frame presented
   * that many swaps ago (1: the last one), or 0 when that is not known.
   */
  virtual int WindowBufferAge() { return 0; }
  /**
   * The main framebuffer holds a whole frame: every part of the editor was
   * drawn into it since it was made, which every size or scale change does
   * (a new window can be shown by copying it).
   */
  bool FramebufferHoldsWholeFrame() const;
  /** The window's buffers hold nothing of the frame (a new or exposed window): the next copy is whole. */
  void ForgetWindowContents();
  /** Copies the whole main framebuffer to the window, drawing nothing (context current). */
  void CopyWholeFrameToWindow();
  /** The areas (unscaled, pixel-aligned) the last FinishFrame copied to the window. */
  const IAreaList& LastCopiedAreas() const { return mCopiedAreas; }
  /**
   * Frames reach the window as pixels (WindowImage) rather than by a GL copy
   * and a swap: on Mesa's software renderers, where the window's pixels live
   * in the display server's memory anyway and a GL copy to the window costs a
   * compiled shader, a pass over every pixel and the swap's own copy. Decided
   * as the context is made, where the platform can put pixels into its window.
   */
  bool PresentsPixels() const { return mPresentsPixels; }
  /** Frames go to the window through GL even on a software renderer (takes effect as the context is made). */
  void PreferGLPresentation(bool prefer) { mPreferGLPresentation = prefer; }
  /** The framebuffer FinishFrame copies the frame to (read when the NanoVG context was made). */
  unsigned WindowFramebuffer() const { return mWindowFramebuffer; }
  /** The main framebuffer's GL name (0 without one). */
  unsigned MainFramebuffer() const;
  /**
   * Largest texture side used for images: GL_MAX_TEXTURE_SIZE, or less when
   * limited here (a smaller limit makes larger images tiled, as on smaller GPUs).
   */
  int TextureSizeLimit() const;
  void LimitTextureSize(int pixels) { mTextureLimit = pixels; }

  // --- Drawing -------------------------------------------------------------------------------
  void BlitBitmap(const IBitmap& bitmap, const IArea& dest, int srcX, int srcY,
                  const IBlendMode* blend = nullptr) override;
  void StrokeDashedLine(const IRgba& colour, float x1, float y1, float x2, float y2, const IBlendMode* blend = nullptr,
                        float thickness = 1.f, float dashLen = 2.f) override;
  void StrokeDashedRect(const IRgba& colour, const IArea& area, const IBlendMode* blend = nullptr,
                        float thickness = 1.f, float dashLen = 2.f) override;
  void PaintFastShadow(const IArea& inner, const IArea& outer, float yDrop, float roundness, float blur,
                       const IBlendMode* blend = nullptr) override;
  IRgba ReadPixelColour(float x, float y) override;
  void* DrawContext() override;
  const char* DrawingApiName() override { return "NanoVG | GL2"; }
  bool SupportsImageExtension(const char* extension) override;

  void PathReset() override;
  void PathCloseFigure() override;
  void PathAddArc(float cx, float cy, float r, float a1, float a2, EWinding winding = EWinding::CW) override;
  void PathMove(float x, float y) override;
  void PathLine(float x, float y) override;
  void PathSetSolidity(bool hole) override;
  void PathCubic(float c1x, float c1y, float c2x, float c2y, float x, float y) override;
  void PathQuadratic(float cx, float cy, float x, float y) override;
  void PathStrokeWith(const IFillPattern& pattern, float thickness, const IStrokeStyle& style,
                      const IBlendMode* blend) override;
  void PathFillWith(const IFillPattern& pattern, const IFillStyle& style, const IBlendMode* blend) override;
  void PathApplyTransform(const ITransform2D& matrix) override;
  void SetClipArea(const IArea& area) override;

  // --- Layers --------------------------------------------------------------------------------
  void BindLayerTarget() override;
  /** The layer's pixels as RGBA bytes, premultiplied, top row first. */
  void ReadLayerPixels(const ILayerPtr& layer, std::vector<uint8_t>& rgba) override;
  void ApplyLayerShadow(const ILayerPtr& layer, const IShadow& shadow) override;

  // --- Resources -----------------------------------------------------------------------------
  std::unique_ptr<APIBitmap> LoadBackendBitmap(const DecodedImage& image, float scale) override;
  std::unique_ptr<APIBitmap> LoadBackendStrip(const SharedImage& image, float scale, int nFrames,
                                              bool framesAreHorizontal) override;
  std::unique_ptr<APIBitmap> CreateBackendBitmap(int width, int height, float scale, float drawScale,
                                                 bool cacheable) override;
  bool LoadBackendFont(const char* fontId, const FontData& font) override;
  float MeasureTextImpl(const ITextStyle& style, const char* text, IArea& bounds) override;
  void PrintTextImpl(const ITextStyle& style, const char* text, const IArea& area, const IBlendMode* blend) override;

  /**
   * Where text sits for a style: the NanoVG anchor in the area and, for a
   * rotated style, the offset to translate by before rotating; bounds gets
   * the text's box (rotated and moved) in unscaled pixels.
   */
  void PlaceText(const ITextStyle& style, const char* text, const IArea& area, float& anchorX, float& anchorY,
                 float& offsetX, float& offsetY, IArea& bounds);

protected:
  /** Whether the platform can put pixels into its window (WindowImage); asked as the context is made. */
  virtual bool CanPutPixelsInWindow() { return false; }
  /**
   * The image frames are put into the window from (PresentsPixels): device
   * pixels of 4 bytes in the order B, G, R, A (a little-endian 0xAARRGGBB),
   * at least BackingWidth x BackingHeight, rows of rowBytes, the top row first
   * when topFirst; null when there is none (the frame is then not presented).
   * Asked once a frame, before the frame's areas are read into it.
   */
  virtual uint8_t* WindowImage(int& /*rowBytes*/, bool& /*topFirst*/) { return nullptr; }
  /** Puts a device area of the window image into the window; the platform presents after FinishFrame. */
  virtual void PutWindowImage(int /*left*/, int /*top*/, int /*width*/, int /*height*/) {}

private:
  friend class Bitmap;

  /** The areas to copy to the window this frame; records the frame's own areas for the frames after it. */
  IAreaList AreasToCopy();
  /** A device-pixel rectangle of the main framebuffer, from its top left. */
  struct DeviceRect
  {
    int left, top, width, height;
  };
  /** The areas in whole device pixels within the main framebuffer; empty ones left out. */
  std::vector<DeviceRect> DeviceRects(const IAreaList& areas) const;
  /** Copies the areas of the main framebuffer to the window (whole device pixels). */
  void CopyToWindow(const IAreaList& areas);
  /** Reads the areas from the main framebuffer into the window image and puts them into the window. */
  void PutAreasInWindow(const IAreaList& areas);
  void DeleteMainFramebuffer();
  void MakeMainFramebuffer();
  /** Binds the top layer's framebuffer, else the main one, and begins a NanoVG frame for it. */
  void BindDrawingTarget();
  void ReleaseFramebuffer(NVGLUframebuffer* framebuffer);
  void FlushDeferredDeletions();
  void SetBlend(const IBlendMode* blend);
  /** Draws rect (within the tile's part, or the whole bitmap's area) from the tile's texture. */
  void DrawTile(const Bitmap& bitmap, size_t index, float originX, float originY, float scale, const IArea& rect,
                float alpha);
  std::vector<Bitmap::Tile> PlanTiles(int width, int height, int stepX, int stepY) const;
  /** A texture of the tile's pixels of the image; 0 on failure. */
  int UploadTile(const DecodedImage& image, const Bitmap::Tile& tile);

  NVGcontext* mVG = nullptr;
  NVGLUframebuffer* mMainFramebuffer = nullptr;
  unsigned mWindowFramebuffer = 0;
  unsigned mContextGeneration = 0;
  bool mInFrame = false;
  bool mPresentsPixels = false;
  bool mPreferGLPresentation = false;
  bool mFramebufferWhole = false; // every part drawn into the main framebuffer since it was made
  int mTextureLimit = 0;
  IArea mClip; // the last clip, in unscaled editor pixels (empty: none)
  IAreaList mCopiedAreas;
  // The areas drawn by the latest frames, newest first; a frame that may have drawn anywhere holds the whole editor.
  std::vector<IAreaList> mDrawnBefore;
  std::mutex mBackendMutex;
  std::vector<NVGLUframebuffer*> mDeferredDeletions;
};

} // namespace gfx
