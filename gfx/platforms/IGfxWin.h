#pragma once

// The editor window on Windows: a child window in the host's window with its
// own WGL context, drawn through the NanoVG backend.
//
// - Frame clock: a vertical-blank worker thread (Windows 8 and later) posts
//   kFrameMessage with a running count; only the newest message is served and
//   after a frame that took longer than one vertical blank the messages that
//   piled up meanwhile are skipped, so a slow frame never queues up more
//   frames. Without the D3DKMT functions (or with a failing adapter) the worker
//   sleeps 16 ms between messages. Before Windows 8, window timer 2 drives the
//   frames instead.
// - A frame tick invalidates the dirty areas in device pixels; WM_PAINT turns
//   the update region back into unscaled areas and draws only those.
// - Every use of the GL context makes it current and restores whichever
//   context was current before, so a host's own GL work is left alone.
// - Window messages become the dispatch calls of IGfx in unscaled pixels
//   (client pixels / TotalScale). Mouse messages that Windows synthesises from
//   touch carry a marker in their extra info and are ignored as mouse input.
// - Native services: cursor, tooltips, popup menus, a single-line text entry
//   (an EDIT window whose characters are filtered by the edited parameter's
//   type), message boxes, file, folder and colour dialogs, web pages,
//   revealing files, the clipboard and fonts registered from memory.
//
// One class over several files, one role each: IGfxWin.cpp (window, WGL
// context, paint, the message switch), IGfxWinFrameClock.cpp, IGfxWinInput.cpp
// (mouse, keys, touch, tooltips, cursor), IGfxWinTextEntry.cpp,
// IGfxWinServices.cpp (menus, dialogs, shell, clipboard) and IGfxWinFonts.cpp.
//
// User-interface thread only, except the worker (see VerticalBlankWorker).

#include "gfx/drawing/IGfxNanoVG.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>
#include <unordered_map>

namespace gfx {

class IGfxWin : public IGfxNanoVG
{
public:
  static constexpr UINT_PTR kFrameTimerId = 2;
  static constexpr UINT kFrameMessage = WM_USER + 1;
  static constexpr LONG_PTR kEditMarker = 0xDEADF00B;
  static constexpr int kEditControlId = 0x63;
  /** Edit states of the text entry. */
  enum EEditState
  {
    kEditIdle = 0,
    kEditEditing = 1,
    kEditDrawn = 2,
    kEditCancel = 3,
    kEditCommit = 4
  };

  IGfxWin(plug::IGfxEditorDelegate* delegate, int width, int height, int fps = 60, float scale = 1.f);
  ~IGfxWin() override;

  // --- Window --------------------------------------------------------------------------
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  void* WindowHandle() override { return mWindow; }
  bool IsWindowOpen() override { return mWindow != nullptr; }
  /** The window and every ancestor visible (a host hides its own window, not ours). */
  bool IsWindowShowing() override { return mWindow && IsWindowVisible(mWindow); }
  /** 1 where the pixel format's swap copies the back buffer (it then still holds the last frame), else unknown. */
  int WindowBufferAge() override { return mSwapCopies ? 1 : 0; }
  bool SwapCopies() const { return mSwapCopies; }
  bool MakeContextCurrent() override;
  void RestorePreviousContext() override;
  void ResizeHostWindow(bool parentResized) override;
  void OnBackingResized() override;
  float PlatformWindowScale() const override { return DisplayScale(); }
  /** The host's factor replaces the monitor's, which the frame tick no longer adopts. */
  void SetHostDisplayScale(float scale) override;
  bool IsTouchCapable() const override;
  const char* PlatformName() const override { return "win32"; }

  // --- Cursor ----------------------------------------------------------------------------
  void QueryCursorPosition(float& x, float& y) override;
  void SetCursorHidden(bool hide, bool lock) override;
  void WarpCursor(float x, float y) override;
  ECursor SetCursorShape(ECursor shape) override;

  // --- Text entry and menus ------------------------------------------------------------------
  void CreateNativeTextEntry(int paramIdx, const ITextStyle& style, const IArea& area, int maxLength,
                             const char* text) override;
  void CancelTextEntry() override { mEditState = kEditCancel; }
  IMenuModel* ShowNativeMenu(IMenuModel& menu, const IArea& area, bool& isAsync) override;

  // --- Dialogs and shell -----------------------------------------------------------------------
  EMsgBoxResult ShowMessageDialog(const char* text, const char* caption, EMsgBoxType type,
                                  MsgBoxCompletionFunc completion = nullptr) override;
  void AskForFile(std::string& path, std::string& directory, EFileAction action, const char* extensions,
                  FileDialogCompletionFunc completion = nullptr) override;
  void AskForDirectory(std::string& directory, FileDialogCompletionFunc completion = nullptr) override;
  bool AskForColour(IRgba& colour, const char* prompt, ColourPickerCompletionFunc completion = nullptr) override;
  bool OpenWebPage(const char* url, const char* caption = nullptr, const char* question = nullptr,
                   const char* failureMessage = nullptr) override;
  bool RevealInFileBrowser(const char* path, bool select) override;
  bool ReadClipboardText(std::string& text) override;
  bool WriteClipboardText(const char* text) override;

  // --- Fonts -------------------------------------------------------------------------------------
  /** Registers the font bytes with GDI (private to the process) and caches an HFONT of the face. */
  bool LoadNativeFont(const char* fontId, const FontData& font) override;
  /** A copy of the HFONT cached for the font id (the caller deletes it), null when none. */
  static HFONT CopyCachedFont(const char* fontId, int height);

  // --- Frame clock --------------------------------------------------------------------------------
  /** Which clock the next opening uses (default: vertical blank on Windows 8 and later). */
  void SetUseVerticalBlank(bool use) { mUseVerticalBlank = use; }
  bool UsesVerticalBlank() const { return mUseVerticalBlank; }
  /** Timer period for a frame rate: IGfx::FramePeriodMs. */
  static UINT TimerPeriodMs(int fps) { return static_cast<UINT>(FramePeriodMs(fps)); }
  /** The window's monitor scale (dpi / 96), 1 when the system cannot tell. */
  static float WindowDpiScale(HWND window);

  // --- Counters (tests and diagnostics) -------------------------------------------------------------
  struct Counters
  {
    int framesServed = 0;     // frame ticks that ran
    int framesSkipped = 0;    // frame messages dropped as late
    int framesDrawn = 0;      // WM_PAINTs that rendered areas
    int lastServedCount = 0;  // vertical-blank count of the last tick that ran
  };
  const Counters& FrameCounters() const { return mCounters; }
  /** The worker's running count (0 with the timer). */
  int VerticalBlankCount() const;
  int EditState() const { return mEditState; }
  HWND EditWindow() const { return mEditWindow; }
  HWND TooltipWindow() const { return mTooltipWindow; }
  /** Editor windows, GL contexts and worker threads alive in the process. */
  static int OpenWindowCount();
  static int LiveGLContextCount();
  static int LiveWorkerCount();

private:
  static constexpr DWORD kChildWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

  // Shared with the worker thread, so that a worker that outlives the wait at
  // closing still finds valid state and only posts to a window that is gone.
  struct VBlankSharedState
  {
    std::atomic<bool> stop{false};
    std::atomic<int> count{0};
    HWND window = nullptr;
  };

  // Window (IGfxWin.cpp).
  static LRESULT CALLBACK EditorWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  /** Frame clock, text entry, controls and GL objects, GL context, tooltip and DC: all but the window. */
  void ReleaseWindowResources();
  bool CreateGLContext();
  void DestroyGLContext();
  void OnPaint();

  // Frame clock (IGfxWinFrameClock.cpp).
  static bool DefaultUsesVerticalBlank();
  static DWORD WINAPI VerticalBlankWorker(LPVOID param);
  void StartFrameClock();
  void StopFrameClock();
  bool IsLateFrame(int count);
  void OnFrameTick(int count);

  // Input (IGfxWinInput.cpp).
  bool NoteMouseSource(UINT msg);
  IMouseState MouseStateFrom(WPARAM wParam, LPARAM lParam);
  void OnButtonDown(HWND hWnd, WPARAM wParam, LPARAM lParam);
  void OnDoubleClick(HWND hWnd, WPARAM wParam, LPARAM lParam);
  void OnMouseMove(WPARAM wParam, LPARAM lParam);
  void OnWheel(HWND hWnd, WPARAM wParam, LPARAM lParam);
  void OnDropFiles(WPARAM wParam);
  void OnMouseLeave();
  LRESULT OnKey(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void OnTouch(HWND hWnd, WPARAM wParam, LPARAM lParam);
  void CreateTooltipWindow(HINSTANCE module);
  void DestroyTooltipWindow();
  void ShowTooltip();
  void HideTooltip();

  // Text entry (IGfxWinTextEntry.cpp).
  static LRESULT CALLBACK TextEntryProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleTextEntryMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT EditColours(HDC dc);
  /** The entry's commit or cancel, served at a frame tick; true when the tick is used up by it. */
  bool ServeTextEntry();
  void DestroyEditWindow();

  // Services and fonts (IGfxWinServices.cpp, IGfxWinFonts.cpp).
  HWND FindTopLevelWindow();
  static HFONT FindFont(const char* family, int weight, bool italic, bool underline, bool enumerate);
  static void RetainFontCaches();
  static void ReleaseFontCaches();

  HGLRC mGLContext = nullptr;
  struct SavedContext
  {
    HDC dc;
    HGLRC context;
  };
  std::vector<SavedContext> mSavedContexts; // innermost last
  HWND mWindow = nullptr;
  HDC mWindowDC = nullptr;
  HWND mEditWindow = nullptr;
  HWND mTooltipWindow = nullptr;
  HWND mParentWindow = nullptr;
  HINSTANCE mWindowModule = nullptr;
  HWND mTopLevelWindow = nullptr;
  WNDPROC mEditClassProc = nullptr;
  HFONT mEditFont = nullptr;
  std::shared_ptr<VBlankSharedState> mVBlank; // while the worker runs
  HANDLE mWorkerThread = nullptr;
  int mSkipFramesUntil = 0;
  bool mUseVerticalBlank;
  bool mHostGivesScale = false;
  bool mRepaintAfterResize = false;
  bool mSwapCopies = false;
  const plug::IParam* mEditParam = nullptr;
  ITextStyle mEditStyle;
  IArea mEditArea;
  int mEditState = kEditIdle;
  bool mTooltipShown = false;
  bool mTooltipsWork = true;
  int mTooltipIndex = -1;
  int mWheelDelta = 0; // of a smooth wheel, what has not yet made a whole notch
  std::string mTooltipText;
  std::unordered_map<int64_t, IMouseState> mTouchMap;
  Counters mCounters;
};

} // namespace gfx
