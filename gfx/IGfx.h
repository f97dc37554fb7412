#pragma once

// The editor's graphics context: everything that depends neither on the
// window system nor on the drawing backend.
//
// - the ordered control list (index 0 is the background, later controls are
//   drawn on top and hit first) and the overlays above it (corner resizer,
//   value bubbles);
// - the frame: TickFrame, called by the platform once per frame on the
//   user-interface thread with the frame time, pulls the values the plug-in
//   sent (meters, automation) from the delegate, runs the animation hooks and
//   collects the dirty areas; RenderAreas draws them control by control;
// - input dispatch: hit testing, capture during a drag, mouse-over, wheel,
//   double click, keys, file drops;
// - size and scale: editor size in unscaled pixels, the draw scale (the user's
//   zoom) and the display scale (the monitor's factor). Controls and dirty
//   areas only know unscaled pixels; ToDevicePixels / FromDevicePixels are the
//   one mapping to and from the window's pixels (TotalScale = draw x display);
// - value prompts, popup menus and the host's parameter menu;
// - bitmaps and fonts through the context's own bitmap cache (keyed by name
//   and the scale found) and the process-wide font-data cache.
//
// The drawing backend (IGfxNanoVG) implements the abstract drawing and path
// operations; the platform window (IGfxWin) implements the window, cursor,
// text-entry, menu, clipboard and dialog operations and drives the frame.

#include "gfx/DecodedImageCache.h"
#include "gfx/GfxBitmap.h"
#include "gfx/GfxTypes.h"
#include "gfx/ResourceCache.h"
#include "gfx/controls/IBubbleControl.h"
#include "gfx/controls/IControl.h"

#include "plug/IEditor.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace plug {
class IGfxEditorDelegate;
} // namespace plug

namespace gfx {

enum class EWinding
{
  CW = 0,
  CCW
};

enum class EMsgBoxType
{
  OK = 0,
  OKCancel,
  YesNoCancel,
  YesNo,
  RetryCancel
};

enum class EMsgBoxResult
{
  Cancel = 0,
  OK,
  Yes,
  No,
  Retry
};

enum class EFileAction
{
  Open = 0,
  Save
};

/** Shadow of an offscreen layer. */
struct IShadow
{
  IFillPattern pattern{kColourBlack};
  float blurSize = 5.f;
  float xOffset = 2.f;
  float yOffset = 2.f;
  float opacity = 1.f;
  bool drawForeground = true;
};

class IGfx : public plug::IEditor
{
public:
  using KeyHandlerFunc = std::function<bool(const IKeyEvent& key, bool isUp)>;
  using DisplayTickFunc = std::function<void()>;
  using MsgBoxCompletionFunc = std::function<void(EMsgBoxResult result)>;
  using FileDialogCompletionFunc = std::function<void(const std::string& path, const std::string& directory)>;
  using ColourPickerCompletionFunc = std::function<void(const IRgba& colour)>;

  /**
   * delegate may be null (tests); width and height in unscaled pixels;
   * fps sets the frame clock's period; scale is the initial draw scale, whose
   * half and double are the draw-scale limits.
   */
  IGfx(plug::IGfxEditorDelegate* delegate, int width, int height, int fps = 60, float scale = 1.f);
  ~IGfx() override;
  IGfx(const IGfx&) = delete;
  IGfx& operator=(const IGfx&) = delete;

  // --- plug::IEditor -----------------------------------------------------------
  int GetWidth() const override { return mWidth; }
  int GetHeight() const override { return mHeight; }
  float GetDrawScale() const override { return mDrawScale; }
  /**
   * Clamps the scale into the draw-scale limits (a non-finite scale keeps the
   * current one), then fits width and height into the delegate's editor
   * limits so that the scaled size lies inside them too (plug::FitEditorSize);
   * an unchanged result does nothing. Otherwise ends captures, tells the
   * delegate and the host window, resizes and repaints everything.
   */
  void SetEditorSize(int width, int height, float scale) override;
  /** Non-finite or non-positive scales are refused. */
  void SetDisplayScale(float scale) override;
  float GetDisplayScale() const override { return mDisplayScale; }
  float GetWindowScale() const override { return PlatformWindowScale(); }
  void* OpenEditorWindow(void* parent) override = 0;
  void CloseEditorWindow() override = 0;
  void QueryCursorPosition(float& x, float& y) override = 0;
  bool OnKeyDown(float x, float y, const IKeyEvent& key) override;
  bool OnKeyUp(float x, float y, const IKeyEvent& key) override;
  void SetControlValuesOfParam(int paramIdx, double normalized) override;
  void SetControlValueByTag(int controlTag, double normalized) override;
  void SendMessageToControl(int controlTag, int messageTag, int dataSize, const void* data) override;
  void SendMidiToControls(const plug::IMidiMsg& message) override;

  // --- Control list --------------------------------------------------------------
  /** The context owns the control from now on. Returns it. */
  IControl* AddControl(IControl* control, int tag = -1, const char* group = "");
  /** Inserts the background control (an image control made by the layout) at index 0. */
  IControl* AddBackground(IControl* control);
  /** A second resizer is deleted. mode 0: dragging changes the draw scale, 1: the size. */
  void AddCornerResizer(IControl* control, int resizerMode = 0, bool layoutOnResize = false);
  void AddValueBubble(IBubbleControl* bubble);
  IControl* ControlAt(int index) const;
  IControl* ControlByTag(int tag) const;
  int ControlCount() const { return static_cast<int>(mControls.size()); }
  /** List index of a control, -1 when it is not in the list. */
  int ControlIndex(const IControl* control) const;
  IControl* CornerResizer() const { return mCornerResizer.get(); }
  int BubbleCount() const { return static_cast<int>(mBubbles.size()); }
  IBubbleControl* BubbleAt(int index) const;
  /** Deletes every control and overlay; ends captures and mouse-over. */
  void ClearControls();

  void EachControl(const std::function<void(IControl* control)>& func) const;
  /** The list, then the corner resizer, then the bubbles: the drawing order. */
  void EachControlAndOverlay(const std::function<void(IControl* control)>& func) const;
  /** For each control bound to the parameter: the control and its first such slot. */
  void EachControlOfParam(int paramIdx, const std::function<void(IControl* control, int valIdx)>& func) const;
  void MarkAllDirty();
  void MarkAllClean();

  // --- Frame -----------------------------------------------------------------------
  /**
   * The delegate's work of a frame tick (OnEditorFrameTick), before the tick
   * itself. False when this editor was destroyed meanwhile: a host may close
   * the editor from a call that work makes, and the caller must then return
   * without touching it.
   */
  bool RunDelegateFrameWork();
  /**
   * The platform's frame tick (user-interface thread). nowMs is the frame time
   * in milliseconds on a monotonic clock; animations read it through
   * FrameTimeMs. Delivers the delegate's pending values to the controls, runs
   * the display tick and the animation hooks, collects the dirty areas into
   * areas (unscaled) and marks the controls clean. True when something is to
   * be drawn: the platform then invalidates ToDevicePixels of each area and,
   * when it paints, calls RenderAreas. While the window is not showing
   * (IsWindowShowing) nothing is to be drawn and the controls stay dirty, so
   * the first tick after it shows again draws everything changed meanwhile.
   */
  bool TickFrame(double nowMs, IAreaList& areas);
  /** Frame time of the latest tick (0 before the first). */
  double FrameTimeMs() const { return mFrameTimeMs; }
  /** Display tick, animation hooks, then the padded areas of controls that need repainting. */
  bool CollectDirtyAreas(IAreaList& areas);
  /**
   * Draws the areas (unscaled): aligned, overlaps removed, every control
   * clipped to each. Drawing the whole editor marks the controls clean: it
   * shows each as it is now (a first frame, an exposed window).
   */
  void RenderAreas(const IAreaList& areas);
  /** The whole editor in unscaled pixels. */
  IArea WholeEditor() const;
  /** One of the areas contains the whole editor. */
  bool CoversWholeEditor(const IAreaList& areas) const;
  /** Draws one control clipped to area. */
  void PaintControl(IControl* control, const IArea& area, float scale);
  /** Removes overdraw: contained areas go, overlaps are cut or split, areas sharing an edge merge. */
  static void OptimizeAreas(IAreaList& areas);
  void SetDisplayTickFunc(DisplayTickFunc func) { mDisplayTickFunc = std::move(func); }
  void SetStrictDrawing(bool strict) { mStrictDrawing = strict; }
  int FrameRate() const { return mFPS; }
  /** The frame clock's period for a frame rate: floor(1000 / fps), and 15 ms for anything below 20 ms. */
  static int FramePeriodMs(int fps);
  /** The frame time the platforms hand to TickFrame: milliseconds on a monotonic clock. */
  static double NowMs();

  // --- Scale -----------------------------------------------------------------------
  float DisplayScale() const { return mDisplayScale; }
  float TotalScale() const { return mDrawScale * mDisplayScale; }
  float MinDrawScale() const { return mMinScale; }
  float MaxDrawScale() const { return mMaxScale; }
  /** Unscaled editor area to device pixels, grown outwards to whole pixels. */
  IArea ToDevicePixels(const IArea& area) const;
  /** Device pixels to unscaled editor units, grown outwards to whole unscaled units. */
  IArea FromDevicePixels(const IArea& area) const;
  /** A device-pixel point in unscaled editor units. */
  void FromDevicePoint(float& x, float& y) const;
  /** An unscaled point as the nearest device pixel. */
  void ToDevicePoint(float x, float y, int& deviceX, int& deviceY) const;
  /** The one size formula: int(int(length x draw scale) x factor), factor being the display or window scale. */
  static int DeviceLength(int length, float drawScale, float factor);
  /** The editor's size in device pixels (the drawing surface, the window). */
  int DeviceWidth() const { return DeviceLength(mWidth, mDrawScale, mDisplayScale); }
  int DeviceHeight() const { return DeviceLength(mHeight, mDrawScale, mDisplayScale); }

  // --- Input (unscaled coordinates; called by the platform) --------------------------
  /**
   * A pointer motion to p: with a button held (dragging) a drag by the
   * distance from the last position, after which a locked cursor is warped
   * back to where it was hidden; else a mouse-over. True when the pointer is
   * over a control (mouse-over only).
   */
  bool OnPointerMoved(IMouseState p, bool dragging);
  void DispatchMouseDown(const std::vector<IMouseState>& points);
  void DispatchMouseUp(const std::vector<IMouseState>& points);
  void DispatchMouseDrag(const std::vector<IMouseState>& points);
  /** True when a control is under the point. */
  bool DispatchMouseOver(float x, float y, const IMouseMods& mod);
  void DispatchMouseLeave();
  /**
   * The window lost the pointer in the middle of a gesture (another window
   * took the capture): no release will come, so every held control lets go,
   * its host edit ends and a hidden cursor shows again.
   */
  void OnPointerLost();
  void DispatchDoubleClick(const IMouseState& point);
  void DispatchWheel(float x, float y, const IMouseMods& mod, float delta);
  void DispatchFileDrop(const char* path, float x, float y);
  /** The control that takes the pointer at (x, y), or nullptr. With capture the control is held for touchID. */
  IControl* HitTestControl(float x, float y, bool capture, bool mouseOver = false, int64_t touchID = 0);
  /** Whether a pointer holds the control. */
  bool IsCaptured(const IControl* control) const;
  /** Touch ids holding the control. */
  std::vector<int64_t> TouchesHolding(const IControl* control) const;
  /** Drops every capture, ending the host edits of the controls that were held. */
  void ClearCaptures();
  IControl* MouseOverControl() const { return mMouseOver; }
  int MouseOverIndex() const { return mMouseOverIdx; }
  void SetKeyHandlerFunc(KeyHandlerFunc func) { mKeyHandlerFunc = std::move(func); }
  void SetHoverEnabled(bool enable) { mHoverEnabled = enable; }
  bool HoverEnabled() const { return mHoverEnabled; }
  void SetMultiTouchEnabled(bool enable) { mMultiTouchEnabled = enable; }
  bool MultiTouchEnabled() const { return mMultiTouchEnabled; }
  void SetTooltipsEnabled(bool enable) { mTooltipsEnabled = enable; }
  bool TooltipsEnabled() const { return mTooltipsEnabled; }
  void SetLayoutOnResize(bool layout) { mLayoutOnResize = layout; }
  bool ResizingInProgress() const { return mResizingInProgress; }
  /** Set by the corner resizer on press; the release ends it. */
  void SetResizingInProgress() { mResizingInProgress = true; }
  int ResizerMode() const { return mResizerMode; }

  // --- Prompts and menus -------------------------------------------------------------
  /** Text entry, or a menu for parameters with display texts, for the control's slot. */
  void PromptForValue(IControl* control, const IArea& area, int valIdx);
  void OpenTextEntry(IControl* control, const ITextStyle& style, const IArea& area, const char* text, int valIdx);
  void OpenPopupMenu(IControl* control, IMenuModel& menu, const IArea& area, int valIdx);
  /** The platform's text entry finished with text. */
  void ApplyTextEntryResult(const char* text);
  /** The platform's text entry was cancelled: its owner gets no result. */
  void DiscardTextEntry();
  /** The platform's value menu (or context menu) finished; null for no choice. */
  void ApplyMenuResult(IMenuModel* menu);
  /**
   * The host's context menu for the parameter at (x, y), with the items the
   * control adds (FillContextMenu); a chosen one reaches its HandleContextMenuItem.
   */
  void ShowHostParameterMenu(IControl* control, int paramIdx, float x, float y);
  /** Shows the value bubble for a control (the first bubble unless multi-touch picks another). */
  void ShowValueBubble(IControl* caller, float x, float y, const char* text, int direction, const IArea& minimumContentArea);
  IControl* TextEntryOwner() const { return mTextEntryOwner; }
  IControl* MenuOwner() const { return mMenuOwner; }

  // --- Drawing: frame and backend lifecycle ----------------------------------------------
  virtual void StartFrame() {}
  virtual void OnContextCreated(void* /*platformContext*/) {}
  virtual void OnContextDestroyed() {}
  virtual void FinishFrame() {}

  // --- Drawing operations (unscaled coordinates, angles in degrees clockwise from 12 o'clock) ---
  virtual void BlitBitmap(const IBitmap& bitmap, const IArea& dest, int srcX, int srcY,
                          const IBlendMode* blend = nullptr) = 0;
  virtual void BlitFittedBitmap(const IBitmap& bitmap, const IArea& dest, const IBlendMode* blend = nullptr);
  virtual void BlitRotatedBitmap(const IBitmap& bitmap, float cx, float cy, double angle,
                                 const IBlendMode* blend = nullptr);
  virtual void PlotPoint(const IRgba& colour, float x, float y, const IBlendMode* blend = nullptr);
  virtual void StrokeLine(const IRgba& colour, float x1, float y1, float x2, float y2,
                          const IBlendMode* blend = nullptr, float thickness = 1.f);
  virtual void StrokeDashedLine(const IRgba& colour, float x1, float y1, float x2, float y2,
                                const IBlendMode* blend = nullptr, float thickness = 1.f, float dashLen = 2.f);
  virtual void OutlineTriangle(const IRgba& colour, float x1, float y1, float x2, float y2, float x3, float y3,
                               const IBlendMode* blend = nullptr, float thickness = 1.f);
  virtual void OutlineRect(const IRgba& colour, const IArea& area, const IBlendMode* blend = nullptr,
                           float thickness = 1.f);
  virtual void OutlineRoundRect(const IRgba& colour, const IArea& area, float rTL, float rTR, float rBR, float rBL,
                                const IBlendMode* blend = nullptr, float thickness = 1.f);
  virtual void OutlineRoundRect(const IRgba& colour, const IArea& area, float radius,
                                const IBlendMode* blend = nullptr, float thickness = 1.f);
  virtual void OutlineArc(const IRgba& colour, float cx, float cy, float r, float a1, float a2,
                          const IBlendMode* blend = nullptr, float thickness = 1.f);
  virtual void OutlineCircle(const IRgba& colour, float cx, float cy, float r, const IBlendMode* blend = nullptr,
                             float thickness = 1.f);
  virtual void OutlineEllipse(const IRgba& colour, float cx, float cy, float r1, float r2, float angle,
                              const IBlendMode* blend = nullptr, float thickness = 1.f);
  virtual void OutlineEllipse(const IRgba& colour, const IArea& area, const IBlendMode* blend = nullptr,
                              float thickness = 1.f);
  virtual void OutlinePolygon(const IRgba& colour, const float* x, const float* y, int npoints,
                              const IBlendMode* blend = nullptr, float thickness = 1.f);
  virtual void StrokeDashedRect(const IRgba& colour, const IArea& area, const IBlendMode* blend = nullptr,
                                float thickness = 1.f, float dashLen = 2.f);
  virtual void PaintTriangle(const IRgba& colour, float x1, float y1, float x2, float y2, float x3, float y3,
                             const IBlendMode* blend = nullptr);
  virtual void PaintRect(const IRgba& colour, const IArea& area, const IBlendMode* blend = nullptr);
  virtual void PaintRoundRect(const IRgba& colour, const IArea& area, float rTL, float rTR, float rBR, float rBL,
                              const IBlendMode* blend = nullptr);
  virtual void PaintRoundRect(const IRgba& colour, const IArea& area, float radius, const IBlendMode* blend = nullptr);
  virtual void PaintCircle(const IRgba& colour, float cx, float cy, float r, const IBlendMode* blend = nullptr);
  virtual void PaintEllipse(const IRgba& colour, float cx, float cy, float r1, float r2, float angle,
                            const IBlendMode* blend = nullptr);
  virtual void PaintEllipse(const IRgba& colour, const IArea& area, const IBlendMode* blend = nullptr);
  virtual void PaintArc(const IRgba& colour, float cx, float cy, float r, float a1, float a2,
                        const IBlendMode* blend = nullptr);
  virtual void PaintPolygon(const IRgba& colour, const float* x, const float* y, int npoints,
                            const IBlendMode* blend = nullptr);
  virtual void PaintFastShadow(const IArea& /*inner*/, const IArea& /*outer*/, float /*yDrop*/, float /*roundness*/,
                               float /*blur*/, const IBlendMode* /*blend*/ = nullptr)
  {
  }
  virtual void PlotGrid(const IRgba& colour, const IArea& area, float cellWidth, float cellHeight,
                        const IBlendMode* blend = nullptr, float thickness = 1.f);
  /** normYValues (count of them) in 0..1 plotted bottom to top; normXValues optional, else evenly spaced. */
  virtual void PlotData(const IRgba& colour, const IArea& area, const float* normYValues, int count,
                        const float* normXValues = nullptr, const IBlendMode* blend = nullptr, float thickness = 1.f);

  // --- Text ---------------------------------------------------------------------------
  /** Width of the text; its box goes into bounds. An empty text measures 0. */
  virtual float MeasureTextBounds(const ITextStyle& style, const char* text, IArea& bounds);
  /** An empty text draws nothing. */
  void PrintText(const ITextStyle& style, const char* text, const IArea& area, const IBlendMode* blend = nullptr);

  // --- Backend queries ----------------------------------------------------------------
  virtual IRgba ReadPixelColour(float x, float y) = 0;
  /** The backend's drawing context (the NanoVG context). */
  virtual void* DrawContext() = 0;
  virtual const char* DrawingApiName() = 0;
  /** Lower-case extension without the dot ("png"). */
  virtual bool SupportsImageExtension(const char* extension) = 0;

  // --- Path interface the backend implements -----------------------------------------------
  virtual void PathReset() = 0;
  virtual void PathCloseFigure() = 0;
  virtual void PathAddArc(float cx, float cy, float r, float a1, float a2, EWinding winding = EWinding::CW) = 0;
  virtual void PathMove(float x, float y) = 0;
  virtual void PathLine(float x, float y) = 0;
  /** A hole is cut out of the fill of the solid sub-paths around it. */
  virtual void PathSetSolidity(bool /*hole*/) {}
  virtual void PathCubic(float c1x, float c1y, float c2x, float c2y, float x, float y) = 0;
  virtual void PathQuadratic(float cx, float cy, float x, float y) = 0;
  virtual void PathStrokeWith(const IFillPattern& pattern, float thickness, const IStrokeStyle& style,
                              const IBlendMode* blend) = 0;
  virtual void PathFillWith(const IFillPattern& pattern, const IFillStyle& style, const IBlendMode* blend) = 0;
  /** The current transform (unscaled to device is the backend's part). */
  virtual void PathApplyTransform(const ITransform2D& matrix) = 0;
  /** Clip in unscaled pixels (transform-independent). */
  virtual void SetClipArea(const IArea& area) = 0;
  /** After each control has been painted into a clip area. */
  virtual void AfterControlPainted(const IArea& /*clip*/) {}

  // Paths built on the interface above.
  void PathRect(const IArea& area);
  void PathRoundRect(const IArea& area, float rTL, float rTR, float rBR, float rBL);
  void PathRoundRect(const IArea& area, float radius) { PathRoundRect(area, radius, radius, radius, radius); }
  void PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding = EWinding::CW)
  {
    PathAddArc(cx, cy, r, a1, a2, winding);
  }
  void PathCircle(float cx, float cy, float r);
  void PathEllipse(float cx, float cy, float r1, float r2, float angle = 0.f);
  void PathEllipse(const IArea& area);
  void PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3);
  void PathPolygon(const float* x, const float* y, int npoints);
  /** Clip to the area within the current base (the open layer, else the control's clip); empty = the base. */
  void PathClipTo(const IArea& area);

  // --- Transforms ----------------------------------------------------------------------
  void PushTransform();
  void PopTransform();
  void ResetTransform(bool clearStack = true);
  void TranslateTransform(float dx, float dy);
  void ScaleTransform(float sx, float sy);
  void RotateTransform(float degrees);
  const ITransform2D& CurrentTransform() const { return mTransform; }
  int TransformStackDepth() const { return static_cast<int>(mTransformStack.size()); }

  // --- Layers --------------------------------------------------------------------------
  /** Starts drawing into an offscreen bitmap of the area (aligned to device pixels). */
  void OpenLayer(IControl* control, const IArea& area, bool cacheable = false);
  /** Ends the top layer and returns it (nullptr without one); the caller owns it. */
  ILayerPtr CloseLayer();
  void DrawLayer(const ILayerPtr& layer, const IBlendMode* blend = nullptr);
  virtual void BindLayerTarget() {}
  virtual void ReadLayerPixels(const ILayerPtr& layer, std::vector<uint8_t>& rgba) = 0;
  virtual void ApplyLayerShadow(const ILayerPtr& /*layer*/, const IShadow& /*shadow*/) {}
  const IArea& CurrentClipArea() const { return mClipArea; }
  /** The layer being drawn into, nullptr when drawing into the frame. */
  IOffscreenLayer* TopLayer() const { return mLayers.empty() ? nullptr : mLayers.back().get(); }

  // --- Resources ----------------------------------------------------------------------
  /**
   * A bitmap from the module's resources (or a file). targetScale 0 means the
   * display scale rounded up. The context's cache is searched at the target,
   * then the other scales in lookup order; a miss finds the best-scaled stored
   * variant, decodes it and caches it under (name, scale found). Empty handle
   * (see LastResourceError) when it is missing, not an image or undecodable.
   */
  virtual IBitmap RequestBitmap(const char* name, int nFrames = 1, bool framesAreHorizontal = false,
                             int targetScale = 0);
  /** The same from bytes in memory, cached under (cacheName, 1). */
  virtual IBitmap RequestBitmapFromData(const char* cacheName, const uint8_t* data, size_t size, int nFrames = 1,
                                     bool framesAreHorizontal = false);
  /** Registers a font with the backend under fontId from a font resource or file. */
  virtual bool RequestFont(const char* fontId, const char* fileNameOrResourceID);
  virtual bool RequestFont(const char* fontId, const uint8_t* data, size_t size);
  std::vector<uint8_t> ReadResourceBytes(const char* name, const char* type);
  /** The bitmap cached under (name, scale) in this context's cache, trying scales in lookup order. */
  APIBitmap* FindCachedBitmap(const char* name, int targetScale, int& foundScale);
  /** The context's cache takes the bitmap under (name, its scale). */
  void CacheBitmap(std::unique_ptr<APIBitmap> bitmap, const char* name);
  void UncacheBitmap(const APIBitmap* bitmap);
  /** Deletes every cached bitmap (the backend's context is going away). */
  void ClearBitmapCache();
  int CachedBitmapCount();
  /** Why the last LoadBitmap / LoadFont failed ("" after a success). */
  const std::string& LastResourceError() const { return mLastResourceError; }

  // --- Backend resource hooks -------------------------------------------------------------
  /** A backend image of the decoded pixels; scale = its pixels per unscaled pixel. Null on failure. */
  virtual std::unique_ptr<APIBitmap> LoadBackendBitmap(const DecodedImage& image, float scale) = 0;
  /**
   * A backend image of a strip of nFrames frames. A backend may keep the
   * pixels and upload each part of the strip when one of its frames is first
   * drawn; by default the whole image is uploaded now.
   */
  virtual std::unique_ptr<APIBitmap> LoadBackendStrip(const SharedImage& image, float scale, int /*nFrames*/,
                                                      bool /*framesAreHorizontal*/)
  {
    return LoadBackendBitmap(*image, scale);
  }
  /** An empty offscreen target of width x height device pixels (for layers). */
  virtual std::unique_ptr<APIBitmap> CreateBackendBitmap(int width, int height, float scale, float drawScale,
                                                         bool cacheable) = 0;
  /** Registers font bytes with the backend under the id. */
  virtual bool LoadBackendFont(const char* fontId, const FontData& font) = 0;
  /** Registers the font with the platform (for native text entry). */
  virtual bool LoadNativeFont(const char* /*fontId*/, const FontData& /*font*/) { return true; }
  virtual float MeasureTextImpl(const ITextStyle& style, const char* text, IArea& bounds) = 0;
  virtual void PrintTextImpl(const ITextStyle& style, const char* text, const IArea& area,
                             const IBlendMode* blend) = 0;

  // --- Platform ----------------------------------------------------------------------------
  virtual void SetCursorHidden(bool hide, bool lock) = 0;
  virtual void WarpCursor(float x, float y) = 0;
  /** Stores the shape and returns the previous one; the platform also shows it. */
  virtual ECursor SetCursorShape(ECursor shape);
  ECursor CursorShape() const { return mCursorShape; }
  bool IsCursorHidden() const { return mCursorHidden; }
  virtual void CancelTextEntry() = 0;
  virtual void* WindowHandle() = 0;
  virtual bool IsWindowOpen() { return WindowHandle() != nullptr; }
  /** Whether the window can be seen at all (mapped, with every ancestor); asked only when a frame has changes. */
  virtual bool IsWindowShowing() { return true; }
  virtual bool ReadClipboardText(std::string& text) = 0;
  virtual bool WriteClipboardText(const char* text) = 0;
  virtual EMsgBoxResult ShowMessageDialog(const char* text, const char* caption, EMsgBoxType type,
                                          MsgBoxCompletionFunc completion = nullptr) = 0;
  virtual void AskForFile(std::string& path, std::string& directory, EFileAction action, const char* extensions,
                          FileDialogCompletionFunc completion = nullptr) = 0;
  virtual void AskForDirectory(std::string& directory, FileDialogCompletionFunc completion = nullptr) = 0;
  virtual bool AskForColour(IRgba& colour, const char* prompt, ColourPickerCompletionFunc completion = nullptr) = 0;
  virtual bool OpenWebPage(const char* url, const char* caption = nullptr, const char* question = nullptr,
                           const char* failureMessage = nullptr) = 0;
  virtual const char* PlatformName() const { return ""; }
  virtual bool RevealInFileBrowser(const char* /*path*/, bool /*select*/) { return false; }
  virtual void SetModuleHandle(void* module) { mPlatformModule = module; }
  virtual void* ModuleHandle() const { return mPlatformModule; }
  /**
   * Makes the editor's GL context current after remembering the one that was;
   * true when the editor's is current now. Each call is undone by one
   * RestorePreviousContext, innermost first (ScopedContext pairs them).
   */
  virtual bool MakeContextCurrent() { return false; }
  virtual void RestorePreviousContext() {}
  /** Opens the platform's single-line text entry; it ends in ApplyTextEntryResult or a cancel. */
  virtual void CreateNativeTextEntry(int paramIdx, const ITextStyle& style, const IArea& area, int maxLength,
                                     const char* text) = 0;
  /** Shows the menu below the area; returns the menu holding the choice (null for none). */
  virtual IMenuModel* ShowNativeMenu(IMenuModel& menu, const IArea& area, bool& isAsync) = 0;
  virtual bool IsTouchCapable() const { return false; }
  /** Factor between the host's window size and the editor's pixels at draw scale. */
  virtual float PlatformWindowScale() const { return 1.f; }
  /** The editor's window size changed; parentResized when the host has resized the parent already. */
  virtual void ResizeHostWindow(bool /*parentResized*/) {}
  /** The device size of the drawing surface changed. */
  virtual void OnBackingResized() {}

  plug::IGfxEditorDelegate* Delegate() const { return mDelegate; }
  /** The delegate's BuildLayout with this context (the platform calls it while opening its window). */
  void BuildLayout();
  /**
   * The delegate's OnEditorOpened, and the values it sends handed to the
   * controls at once (the platform calls it at the end of opening its window,
   * before anything is drawn).
   */
  void NotifyEditorOpened();

  // --- Window lifetime: the steps both platform windows take ----------------------------
  // Opening: window, GL context, SetUpContext, LayoutOpenedWindow, frame clock,
  // NotifyEditorOpened. Closing: frame clock stops, ReleaseWindowContents, then
  // the GL context and the window go. Parking: frame clock stops,
  // EndInteractionsForParking, the window goes; reopening a parked editor makes
  // a window for the kept context and controls and shows the kept frame.
  /** With the new GL context current: loadGL loads the GL functions, then the backend sets itself up. */
  void SetUpContext(void* platformContext, const std::function<bool()>& loadGL);
  /** Builds the layout with the context current and marks everything to be drawn. */
  void LayoutOpenedWindow();
  /** Deletes the controls and the backend's GL objects, with the context current when there is one. */
  void ReleaseWindowContents(bool hasContext);
  /**
   * Parking: every gesture, hover, text entry and menu ends; the controls,
   * images, fonts, the GL context and the frame drawn stay for the next opening.
   */
  void EndInteractionsForParking();

protected:
  /** Shows the cursor if hidden (and unlocks it); the platform's SetCursorHidden does the rest. */
  void ShowCursorIfHidden();
  /**
   * The bookkeeping of SetCursorHidden, shared by the platforms: false when
   * the state does not change. Hiding remembers the position and locks only
   * a mouse pointer (never touch); showing warps a locked cursor back first.
   * The platform then hides or shows its native cursor.
   */
  bool UpdateCursorHidden(bool hide, bool lock);
  /** The device point a warp to (x, y) goes to; false after touch input, which never warps. */
  bool WarpTarget(float x, float y, int& deviceX, int& deviceY) const;
  /** The native pointer landed on the device point: the new position, and the one a locked cursor returns to. */
  void PointerWarpedTo(int deviceX, int deviceY);
  void SetCursorHiddenState(bool hidden, bool locked)
  {
    mCursorHidden = hidden;
    mCursorLocked = locked;
  }
  bool IsCursorLocked() const { return mCursorLocked; }
  /**
   * During RenderAreas' StartFrame ... FinishFrame: the pixel-aligned areas
   * (unscaled) the frame draws; empty when the frame was started otherwise.
   */
  const IAreaList& FrameAreas() const { return mFrameAreas; }
  /** A resize by the corner handle is over: a rescale lays the controls out for the new scale. */
  void FinishResizing();

  /** Last pointer position in unscaled pixels. */
  float mCursorX = -1.f;
  float mCursorY = -1.f;
  bool mLastInputWasTouch = false;
  const std::shared_ptr<const char> mAlive = std::make_shared<const char>(); // for RunDelegateFrameWork

private:
  void AttachAndInit(IControl* control);
  void DeleteControls();
  void WarpBackLockedCursor();
  IBitmap UploadAndCache(const SharedImage& image, const std::string& name, int scale, int nFrames,
                         bool framesAreHorizontal);
  void ResizeWindowToEditor();
  void ApplyTransform() { PathApplyTransform(mTransform); }

  plug::IGfxEditorDelegate* mDelegate;
  std::vector<std::unique_ptr<IControl>> mControls;
  std::unordered_map<int, IControl*> mTagMap;
  std::unique_ptr<IControl> mCornerResizer;
  std::vector<std::unique_ptr<IBubbleControl>> mBubbles;
  std::map<int64_t, IControl*> mCapturedMap;
  IMenuModel mPromptMenu;
  ECursor mCursorShape = ECursor::Arrow;
  int mWidth;
  int mHeight;
  int mFPS;
  float mDisplayScale = 1.f;
  float mDrawScale;
  float mMinScale;
  float mMaxScale;
  IControl* mMouseOver = nullptr;
  IControl* mTextEntryOwner = nullptr;
  IControl* mMenuOwner = nullptr;
  bool mMenuIsContextMenu = false;
  bool mMenuEditsOpen = false;
  int mTextEntryValIdx = -1;
  int mMenuValIdx = -1;
  int mMouseOverIdx = -1;
  float mMouseDownX = -1.f;
  float mMouseDownY = -1.f;
  bool mHoverEnabled = false;
  bool mStrictDrawing = false;
  IAreaList mFrameAreas;
  bool mTooltipsEnabled = false;
  bool mResizingInProgress = false;
  bool mLayoutOnResize = false;
  bool mMultiTouchEnabled = false;
  int mResizerMode = 0;
  double mFrameTimeMs = 0.0;
  KeyHandlerFunc mKeyHandlerFunc;
  DisplayTickFunc mDisplayTickFunc;
  bool mCursorHidden = false;
  bool mCursorLocked = false;
  float mSavedCursorX = 0.f; // where a locked cursor returns to
  float mSavedCursorY = 0.f;
  void* mPlatformModule = nullptr;
  std::vector<ILayerPtr> mLayers;
  IArea mClipArea;
  ITransform2D mTransform;
  std::vector<ITransform2D> mTransformStack;
  DecodedImageUse mDecodedImages; // the process's decoded images stay while this context lives
  ResourceCache<APIBitmap> mBitmapCache;
  std::string mLastResourceError;
  unsigned mBubbleCounter = 0;
};

} // namespace gfx
