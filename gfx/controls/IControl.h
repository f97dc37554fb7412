#pragma once

// Base of everything on the editor surface. A control owns a rectangle in
// unscaled editor pixels (where it paints) and a hit area (where it gets the
// pointer), one or more value slots that may be bound to parameters, a text
// style, behaviour flags and three optional callables: the action run after a
// change is reported, a per-frame animation hook and an animation-end function.
//
// The graphics context owns its controls, paints them, dispatches input to the
// Handle* operations and runs animation hooks once per frame tick. Behaviour
// lives here and in subclasses; only Paint touches the drawing operations, so
// controls are tested against a recording context without GL.
//
// One parameter binding for every control (HostEdit.h): a user change goes
// through StoreValue + MarkDirty(report), which sends the normalized value
// through HostEdit::Set (only when it changes the parameter) and updates other
// controls bound to the same parameter; the context brackets a pointer gesture
// with HostEdit::BeginAll / EndAll. Values from the plug-in arrive through
// ReceiveValue.
//
// A control is a plain C++ object: when the host's context menu of a
// parameter is shown, the VST3 binding wraps the request in its own menu
// target, and a chosen item reaches HandleContextMenuItem.

#include "gfx/GfxBitmap.h"
#include "gfx/GfxTypes.h"

#include <functional>
#include <string>
#include <vector>

namespace plug {
class IEditorDelegate;
class IParam;
} // namespace plug

namespace gfx {

class IGfx;
class IControl;

/** One value slot: the bound parameter (-1 none) and the normalized value. */
struct IControlValue
{
  int paramIdx = -1;
  double value = 0.0;
};

using ControlAction = std::function<void(IControl* control)>;
using ControlHook = std::function<void(IControl* control)>;

class IControl
{
public:
  /** area sets both the area and the hit area; paramIdx (-1 none) binds the one value slot. */
  explicit IControl(const IArea& area, int paramIdx = -1, ControlAction action = nullptr);
  virtual ~IControl();
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // Input. Coordinates are unscaled editor pixels.
  /** Default: a right press opens the value prompt when the control allows it. */
  virtual void HandleMouseDown(float x, float y, const IMouseMods& mod);
  virtual void HandleMouseUp(float /*x*/, float /*y*/, const IMouseMods& /*mod*/) {}
  virtual void HandleMouseDrag(float /*x*/, float /*y*/, float /*dX*/, float /*dY*/, const IMouseMods& /*mod*/) {}
  /** Default: resets the value slot under the pointer to its parameter's default and reports it. */
  virtual void HandleDoubleClick(float x, float y, const IMouseMods& mod);
  virtual void HandleWheel(float /*x*/, float /*y*/, const IMouseMods& /*mod*/, float /*delta*/) {}
  virtual bool HandleKeyDown(float /*x*/, float /*y*/, const IKeyEvent& /*key*/) { return false; }
  virtual bool HandleKeyUp(float /*x*/, float /*y*/, const IKeyEvent& /*key*/) { return false; }
  virtual void HandleMouseOver(float x, float y, const IMouseMods& mod);
  virtual void HandleMouseOut();
  virtual void HandleFileDrop(const char* /*path*/) {}
  /** The display or draw scale changed (bitmaps may be reloaded at another scale). */
  virtual void HandleRescale() {}
  /** The area changed. */
  virtual void HandleResize() {}
  /** Called when the control is added to a context, before it is attached. */
  virtual void HandleInit() {}
  virtual void HandleAttached() {}
  virtual void HandleMidi(const plug::IMidiMsg& /*message*/) {}
  /** A message the plug-in sent to this control (by tag). */
  virtual void HandleMessage(int /*messageTag*/, int /*dataSize*/, const void* /*data*/) {}

  // Menus and text entry.
  /** Items the control adds to the host's context menu of its parameter. */
  virtual void FillContextMenu(IMenuModel& /*menu*/) {}
  /** The value menu closed; a null menu or negative index means no choice. */
  virtual void HandleMenuResult(IMenuModel* menu, int valIdx);
  virtual void HandleTextEntryResult(const char* /*text*/, int /*valIdx*/) {}
  /** One of the items FillContextMenu added was chosen (its index in the menu). */
  virtual void HandleContextMenuItem(int /*itemIndex*/) {}

  // Drawing.
  virtual void Paint(IGfx& g) = 0;
  /** A small dot in the highlight colour near the top-right corner, when highlighted. */
  virtual void PaintHighlight(IGfx& g);

  // Values.
  /** Binds a slot; an index outside the slots is refused (false) and changes nothing. */
  virtual bool BindParameter(int paramIdx, int valIdx = 0);
  /** The slot under a point: 0 with one slot, else -1 unless a subclass knows better. */
  virtual int ValueIndexAt(float x, float y) const;
  /** A value from the plug-in or a linked control; ignored while a pointer holds the control. */
  virtual void ReceiveValue(double normalized, int valIdx = 0);
  /** A value the user chose (menu, text entry): stored and reported unless unchanged. */
  virtual void ApplyUserValue(double normalized, int valIdx = 0);
  /** Slot, or every slot for -1, back to its parameter's default, reported. */
  virtual void ResetToDefault(int valIdx = -1);
  /** Writes the slot (every slot for -1); no clamping, nothing else. */
  virtual void StoreValue(double normalized, int valIdx = 0);

  virtual void SetTextStyle(const ITextStyle& style) { mTextStyle = style; }
  /** Moves the top-left corner (clamped to 0), keeping the size and the hit area's offset. */
  virtual void MoveTo(float x, float y);
  virtual void SetExtent(float width, float height);
  virtual void SetHidden(bool hide);
  virtual void SetDisabled(bool disable);
  /** Inside the hit area (left and top edges included); never for an all-zero hit area. */
  virtual bool ContainsPoint(float x, float y) const;

  /**
   * Clamps the slot (every slot for -1; the only slot when there is one) into
   * 0..1 and marks the control dirty. With report: hands each bound slot's value
   * to the delegate and to the other controls bound to the same parameter, then
   * runs the action.
   */
  virtual void MarkDirty(bool report = false, int valIdx = -1);
  virtual void MarkClean() { mDirtyFlag = false; }
  /** True while an animation hook is installed, else the dirty flag. */
  virtual bool NeedsRepaint() const;
  /** Sets the slot from a pointer position inside bounds (vertical for direction 0), reported. */
  virtual void SnapToPointer(float x, float y, int direction, const IArea& bounds, int valIdx = -1,
                             double low = 0.0, double high = 1.0);
  /** Removes the animation hook, marks dirty, then runs the animation-end function. */
  virtual void FinishAnimation();

  // Animation: time is the context's frame time (milliseconds, from the frame tick).
  void StartAnimation(ControlHook hook, int durationMs);
  /** 0 without an animation; elapsed / duration otherwise, not clamped (above 1 when over). */
  double AnimationProgress() const;
  bool HasAnimation() const { return static_cast<bool>(mAnimationHook); }
  /** Runs the installed hook once (from a copy, so the hook may replace or remove itself). */
  void RunAnimationHook();
  void SetAnimationEndFunction(ControlHook func) { mAnimationEndFunction = std::move(func); }
  void SetActionFunction(ControlAction action) { mActionFunction = std::move(action); }
  const ControlAction& ActionFunction() const { return mActionFunction; }

  // Attachment (set by the graphics context).
  void SetEditorDelegate(plug::IEditorDelegate* delegate) { mEditorDelegate = delegate; }
  void SetGraphicsContext(IGfx* graphics) { mGraphicsContext = graphics; }
  plug::IEditorDelegate* EditorDelegate() const { return mEditorDelegate; }
  IGfx* GraphicsContext() const { return mGraphicsContext; }

  // Accessors.
  const IArea& Area() const { return mArea; }
  const IArea& HitArea() const { return mHitArea; }
  void SetArea(const IArea& area) { mArea = area; }
  void SetHitArea(const IArea& area) { mHitArea = area; }
  /** Area and hit area together, then HandleResize. */
  void SetTargetAndDrawAreas(const IArea& area);

  int NValues() const { return static_cast<int>(mValues.size()); }
  /** 0 for a slot that does not exist. */
  double Value(int valIdx = 0) const;
  /** -1 for an unbound slot or one that does not exist. */
  int ParamIdx(int valIdx = 0) const;
  /** The slot's parameter, or nullptr when unbound or unknown to the delegate. */
  const plug::IParam* Param(int valIdx = 0) const;
  /** Adds a slot (subclasses with several values); returns its index. */
  int AddValueSlot(int paramIdx = -1, double value = 0.0);
  /** The first slot bound to the parameter, or -1. */
  int FirstValueIndexOfParam(int paramIdx) const;

  const ITextStyle& TextStyle() const { return mTextStyle; }
  const IBlendMode& BlendMode() const { return mBlendMode; }
  void SetBlendMode(const IBlendMode& blend) { mBlendMode = blend; }
  const std::string& GroupName() const { return mGroupName; }
  void SetGroupName(const char* group) { mGroupName = group ? group : ""; }
  const std::string& HintText() const { return mHintText; }
  void SetHintText(const char* text) { mHintText = text ? text : ""; }
  int Tag() const { return mTag; }
  void SetTag(int tag) { mTag = tag; }
  int EntryMaxChars() const { return mEntryMaxChars; }
  void SetEntryMaxChars(int chars) { mEntryMaxChars = chars; }

  bool IsDirty() const { return mDirtyFlag; }
  bool IsHidden() const { return mHidden; }
  bool IsDisabled() const { return mIsDisabled; }
  bool PromptDisabled() const { return mPromptDisabled; }
  void SetPromptDisabled(bool disable) { mPromptDisabled = disable; }
  bool DoubleClickAsPress() const { return mDoubleClickAsPress; }
  void SetDoubleClickAsPress(bool asPress) { mDoubleClickAsPress = asPress; }
  bool OverWhenDisabled() const { return mOverWhenDisabled; }
  void SetOverWhenDisabled(bool allow) { mOverWhenDisabled = allow; }
  bool EventsWhenDisabled() const { return mEventsWhenDisabled; }
  void SetEventsWhenDisabled(bool allow) { mEventsWhenDisabled = allow; }
  bool IgnoresPointer() const { return mIgnoresPointer; }
  void SetIgnoresPointer(bool ignore) { mIgnoresPointer = ignore; }
  bool AcceptsMidi() const { return mAcceptsMidi; }
  void SetAcceptsMidi(bool wants) { mAcceptsMidi = wants; }
  bool AcceptsMultiTouch() const { return mAcceptsMultiTouch; }
  void SetAcceptsMultiTouch(bool wants) { mAcceptsMultiTouch = wants; }
  bool PromptShowsLabel() const { return mPromptShowsLabel; }
  void SetPromptShowsLabel(bool show) { mPromptShowsLabel = show; }
  bool PointerIsOver() const { return mPointerIsOver; }
  void SetHighlighted(bool highlighted, const IRgba& colour = kColourRed);

protected:
  /** The control in the context's capture list (a pointer holds it). */
  bool IsCapturedByPointer() const;
  /** Right-press value prompt (text entry or menu) for the slot under the point. */
  void PromptUserInput(float x, float y);

  IArea mArea;
  IArea mHitArea;
  std::string mGroupName;
  ITextStyle mTextStyle;
  IBlendMode mBlendMode;
  int mEntryMaxChars = 7;
  bool mDirtyFlag = true;
  bool mHidden = false;
  bool mIsDisabled = false;
  bool mPromptDisabled = true;
  bool mDoubleClickAsPress = false;
  bool mOverWhenDisabled = false;
  bool mEventsWhenDisabled = false;
  bool mIgnoresPointer = false;
  bool mAcceptsMidi = false;
  bool mAcceptsMultiTouch = false;
  bool mPromptShowsLabel = false;
  bool mPointerIsOver = false;
  std::string mHintText;
  IRgba mHighlightColour = kColourRed;
  bool mHighlighted = false;
  int mTag = -1; // set by AddControl
  plug::IEditorDelegate* mEditorDelegate = nullptr;
  IGfx* mGraphicsContext = nullptr;
  ControlAction mActionFunction;
  ControlHook mAnimationEndFunction;
  ControlHook mAnimationHook;
  double mAnimationStart = 0.0;
  int mAnimationLength = 0;
  std::vector<IControlValue> mValues;
};

} // namespace gfx
