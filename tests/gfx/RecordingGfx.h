#pragma once

// Stand-ins for the graphics tests, shared by the tests of the controls: a
// graphics context that pretends to be a window and writes every drawing and
// platform call into a log instead of drawing, and a control that records the
// handler calls it receives.

#include "gfx/gfx.h"

#include "plug/IGfxEditorDelegate.h"

#include <string>
#include <vector>

namespace gfxtest {

/** "name(a,b,...)" with numbers printed as %g. */
std::string Call(const char* name, std::initializer_list<double> args = {});

/**
 * An editor delegate with nParams parameters (untyped, linear 0..1, until a
 * test sets them up) and KORVEL's editor limits, that logs what the editor reports: host edits, parameter changes,
 * resize requests and host menus.
 */
class RecordingDelegate : public plug::IGfxEditorDelegate
{
public:
  explicit RecordingDelegate(int nParams = 4);

  std::vector<std::string> events;
  bool resizeAccepted = true;
  int hostMenuChoice = -1; // the editor item the host menu "chooses" (-1 none)
  std::vector<plug::IHostMenuItem> lastHostMenuItems;

  void BeginHostEditFromEditor(int paramIdx) override;
  void SetParameterFromEditor(int paramIdx, double normalized) override;
  void EndHostEditFromEditor(int paramIdx) override;
  bool ResizeFromEditor(int width, int height, bool needsPlatformResize) override;
  bool OpenHostParameterMenu(int paramIdx, int x, int y, const std::vector<plug::IHostMenuItem>& items,
                             plug::HostMenuItemFunc onItem) override;
  void OnEditorOpened() override;
};

/** A backend bitmap that only knows its size; counts the live ones. */
class RecordingBitmap : public gfx::APIBitmap
{
public:
  RecordingBitmap(int width, int height, float scale, float drawScale);
  ~RecordingBitmap() override;
  static int Alive();
};

class RecordingGfx : public gfx::IGfx
{
public:
  explicit RecordingGfx(plug::IGfxEditorDelegate* delegate = nullptr, int width = 998, int height = 386,
                        float scale = 1.f);
  ~RecordingGfx() override;

  /** Every call, in order. */
  std::vector<std::string> calls;
  /** The calls whose text starts with prefix. */
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

  // What the stand-in answers.
  int menuChoice = -1;          // ShowNativeMenu chooses this item (-1: none)
  bool fontAccepted = true;     // LoadBackendFont's answer
  bool bitmapAccepted = true;   // LoadBackendBitmap makes a bitmap
  float cursorX = 0.f;          // QueryCursorPosition's answer
  float cursorY = 0.f;
  std::string clipboard;
  std::string lastTextEntry;    // text given to CreateNativeTextEntry
  int lastTextEntryParam = -2;
  bool showing = true;          // IsWindowShowing's answer
  int showingAsked = 0;         // times IsWindowShowing was asked

  /** Runs one frame as the platform would: tick, then paint what is dirty. */
  bool Frame(double nowMs);
  /** The dirty areas of the last Frame. */
  gfx::IAreaList lastAreas;

  // Platform: a window that only exists in the log.
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  void* WindowHandle() override { return mWindow; }
  bool IsWindowShowing() override
  {
    ++showingAsked;
    return showing;
  }
  void QueryCursorPosition(float& x, float& y) override;
  void SetCursorHidden(bool hide, bool lock) override;
  void WarpCursor(float x, float y) override;
  gfx::ECursor SetCursorShape(gfx::ECursor shape) override;
  void CancelTextEntry() override;
  bool ReadClipboardText(std::string& text) override;
  bool WriteClipboardText(const char* text) override;
  gfx::EMsgBoxResult ShowMessageDialog(const char* text, const char* caption, gfx::EMsgBoxType type,
                                       MsgBoxCompletionFunc completion) override;
  void AskForFile(std::string& path, std::string& directory, gfx::EFileAction action, const char* extensions,
                  FileDialogCompletionFunc completion) override;
  void AskForDirectory(std::string& directory, FileDialogCompletionFunc completion) override;
  bool AskForColour(gfx::IRgba& colour, const char* prompt, ColourPickerCompletionFunc completion) override;
  bool OpenWebPage(const char* url, const char* caption, const char* question, const char* failureMessage) override;
  void CreateNativeTextEntry(int paramIdx, const gfx::ITextStyle& style, const gfx::IArea& area, int maxLength,
                             const char* text) override;
  gfx::IMenuModel* ShowNativeMenu(gfx::IMenuModel& menu, const gfx::IArea& area, bool& isAsync) override;
  void ResizeHostWindow(bool parentResized) override;
  void OnBackingResized() override;

  // Drawing.
  void StartFrame() override;
  void FinishFrame() override;
  void BlitBitmap(const gfx::IBitmap& bitmap, const gfx::IArea& dest, int srcX, int srcY,
                  const gfx::IBlendMode* blend) override;
  gfx::IRgba ReadPixelColour(float, float) override { return gfx::kColourBlack; }
  void* DrawContext() override { return nullptr; }
  const char* DrawingApiName() override { return "recording"; }
  bool SupportsImageExtension(const char* extension) override;
  void PathReset() override;
  void PathCloseFigure() override;
  void PathAddArc(float cx, float cy, float r, float a1, float a2, gfx::EWinding winding) override;
  void PathMove(float x, float y) override;
  void PathLine(float x, float y) override;
  void PathCubic(float c1x, float c1y, float c2x, float c2y, float x, float y) override;
  void PathQuadratic(float cx, float cy, float x, float y) override;
  void PathStrokeWith(const gfx::IFillPattern& pattern, float thickness, const gfx::IStrokeStyle& style,
                      const gfx::IBlendMode* blend) override;
  void PathFillWith(const gfx::IFillPattern& pattern, const gfx::IFillStyle& style,
                    const gfx::IBlendMode* blend) override;
  void PathApplyTransform(const gfx::ITransform2D& matrix) override { appliedTransform = matrix; }
  void SetClipArea(const gfx::IArea& area) override;
  void ReadLayerPixels(const gfx::ILayerPtr& layer, std::vector<uint8_t>& rgba) override;
  std::unique_ptr<gfx::APIBitmap> LoadBackendBitmap(const gfx::DecodedImage& image, float scale) override;
  std::unique_ptr<gfx::APIBitmap> CreateBackendBitmap(int width, int height, float scale, float drawScale,
                                                      bool cacheable) override;
  bool LoadBackendFont(const char* fontId, const gfx::FontData& font) override;
  /** 7 pixels per byte, 14 high, anchored by the style's alignment in area. */
  float MeasureTextImpl(const gfx::ITextStyle& style, const char* text, gfx::IArea& bounds) override;
  void PrintTextImpl(const gfx::ITextStyle& style, const char* text, const gfx::IArea& area,
                     const gfx::IBlendMode* blend) override;

  /** The transform last handed to the backend. */
  gfx::ITransform2D appliedTransform;

  using IGfx::IsCursorLocked;

private:
  void* mWindow = nullptr;
};

/** A control that logs its handler calls into a shared log, prefixed with its name. */
class RecordingControl : public gfx::IControl
{
public:
  RecordingControl(std::vector<std::string>& log, const char* name, const gfx::IArea& area, int paramIdx = -1);

  void HandleMouseDown(float x, float y, const gfx::IMouseMods& mod) override;
  void HandleMouseUp(float x, float y, const gfx::IMouseMods& mod) override;
  void HandleMouseDrag(float x, float y, float dX, float dY, const gfx::IMouseMods& mod) override;
  void HandleDoubleClick(float x, float y, const gfx::IMouseMods& mod) override;
  void HandleWheel(float x, float y, const gfx::IMouseMods& mod, float delta) override;
  bool HandleKeyDown(float x, float y, const gfx::IKeyEvent& key) override;
  void HandleMouseOver(float x, float y, const gfx::IMouseMods& mod) override;
  void HandleMouseOut() override;
  void HandleFileDrop(const char* path) override;
  void HandleContextMenuItem(int itemIndex) override;
  void HandleTextEntryResult(const char* text, int valIdx) override;
  void FillContextMenu(gfx::IMenuModel& menu) override;
  void Paint(gfx::IGfx& g) override;

  bool takesKeys = false;
  std::vector<std::string> contextItems; // added by FillContextMenu

private:
  std::vector<std::string>& mLog;
  std::string mName;
};

} // namespace gfxtest
