// The frame clock of the Win32 editor window: window timer 2, or a worker
// thread that waits for the display's vertical blank and posts kFrameMessage
// with a running count; the frame tick that serves those messages.

#include "gfx/platforms/IGfxWin.h"

#include <memory>

namespace gfx {

namespace {

constexpr DWORD kWorkerWaitMs = 10000;
constexpr DWORD kFallbackSleepMs = 16;
constexpr ULONGLONG kAdapterRetryMs = 1000;

std::atomic<int> gLiveWorkers{0};

// D3DKMT records as gdi32 expects them (D3DKMT_HANDLE is a 32-bit handle).
struct KmtOpenAdapterFromHdc
{
  HDC hDc;
  UINT hAdapter;
  LUID adapterLuid;
  UINT vidPnSourceId;
};
struct KmtWaitForVerticalBlankEvent
{
  UINT hAdapter;
  UINT hDevice;
  UINT vidPnSourceId;
};
struct KmtCloseAdapter
{
  UINT hAdapter;
};
using OpenAdapterFunc = LONG(APIENTRY*)(KmtOpenAdapterFromHdc*);
using WaitVBlankFunc = LONG(APIENTRY*)(const KmtWaitForVerticalBlankEvent*);
using CloseAdapterFunc = LONG(APIENTRY*)(const KmtCloseAdapter*);

RECT ToRect(const IArea& deviceArea)
{
  return {static_cast<LONG>(deviceArea.L), static_cast<LONG>(deviceArea.T), static_cast<LONG>(deviceArea.R),
          static_cast<LONG>(deviceArea.B)};
}

} // namespace

int IGfxWin::LiveWorkerCount() { return gLiveWorkers.load(); }

bool IGfxWin::DefaultUsesVerticalBlank()
{
  // Windows 8 or later.
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = 6;
  info.dwMinorVersion = 2;
  info.wServicePackMajor = 0;
  DWORDLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

void IGfxWin::StartFrameClock()
{
  if (mUseVerticalBlank)
  {
    mVBlank = std::make_shared<VBlankSharedState>();
    mVBlank->window = mWindow;
    auto* worker = new std::shared_ptr<VBlankSharedState>(mVBlank);
    mWorkerThread = CreateThread(nullptr, 0, VerticalBlankWorker, worker, 0, nullptr);
    if (!mWorkerThread)
    {
      delete worker;
      mVBlank.reset();
    }
  }
  else
    SetTimer(mWindow, kFrameTimerId, TimerPeriodMs(FrameRate()), nullptr);
}

void IGfxWin::StopFrameClock()
{
  if (mVBlank)
  {
    mVBlank->stop = true;
    if (mWorkerThread)
    {
      WaitForSingleObject(mWorkerThread, kWorkerWaitMs);
      CloseHandle(mWorkerThread);
      mWorkerThread = nullptr;
    }
    mVBlank.reset();
  }
  else if (mWindow)
    KillTimer(mWindow, kFrameTimerId);
  mSkipFramesUntil = 0;
}

int IGfxWin::VerticalBlankCount() const
{
  return mVBlank ? mVBlank->count.load() : 0;
}

DWORD WINAPI IGfxWin::VerticalBlankWorker(LPVOID param)
{
  std::shared_ptr<VBlankSharedState> state = std::move(*static_cast<std::shared_ptr<VBlankSharedState>*>(param));
  delete static_cast<std::shared_ptr<VBlankSharedState>*>(param);
  ++gLiveWorkers;
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);

  auto post = [&state] {
    const int count = ++state->count;
    PostMessageA(state->window, kFrameMessage, static_cast<WPARAM>(count), 0);
  };

  HMODULE gdi = LoadLibraryA("gdi32.dll");
  const auto openAdapter = reinterpret_cast<OpenAdapterFunc>(
    reinterpret_cast<void*>(gdi ? GetProcAddress(gdi, "D3DKMTOpenAdapterFromHdc") : nullptr));
  const auto waitVBlank = reinterpret_cast<WaitVBlankFunc>(
    reinterpret_cast<void*>(gdi ? GetProcAddress(gdi, "D3DKMTWaitForVerticalBlankEvent") : nullptr));
  const auto closeAdapter = reinterpret_cast<CloseAdapterFunc>(
    reinterpret_cast<void*>(gdi ? GetProcAddress(gdi, "D3DKMTCloseAdapter") : nullptr));

  if (!openAdapter || !waitVBlank || !closeAdapter)
  {
    while (!state->stop)
    {
      Sleep(kFallbackSleepMs);
      post();
    }
  }
  else
  {
    bool adapterOpen = false;
    ULONGLONG lastFailure = 0;
    bool failedBefore = false;
    KmtWaitForVerticalBlankEvent wait = {};
    while (!state->stop)
    {
      if (!adapterOpen)
      {
        if (failedBefore && GetTickCount64() - lastFailure < kAdapterRetryMs)
          Sleep(kFallbackSleepMs);
        else
        {
          KmtOpenAdapterFromHdc open = {};
          open.hDc = GetDC(state->window);
          const bool ok = open.hDc && openAdapter(&open) >= 0;
          if (open.hDc)
            ReleaseDC(state->window, open.hDc);
          if (ok)
          {
            adapterOpen = true;
            wait = {open.hAdapter, 0, open.vidPnSourceId};
          }
          else
          {
            failedBefore = true;
            lastFailure = GetTickCount64();
            Sleep(kFallbackSleepMs);
          }
        }
      }
      else if (waitVBlank(&wait) < 0)
      {
        const KmtCloseAdapter close = {wait.hAdapter};
        closeAdapter(&close);
        adapterOpen = false;
        failedBefore = true;
        lastFailure = GetTickCount64();
        Sleep(kFallbackSleepMs);
      }
      post();
    }
    if (adapterOpen)
    {
      const KmtCloseAdapter close = {wait.hAdapter};
      closeAdapter(&close);
    }
  }
  if (gdi)
    FreeLibrary(gdi);
  --gLiveWorkers;
  return 0;
}

// Only the newest vertical-blank message is served, and after a slow frame
// the messages that piled up meanwhile are skipped.
bool IGfxWin::IsLateFrame(int count)
{
  if (!mVBlank)
    return false;
  const int latest = mVBlank->count.load();
  const bool skipping = mSkipFramesUntil != 0 && latest < mSkipFramesUntil;
  if (!skipping)
  {
    mSkipFramesUntil = 0;
    if (count == latest)
      return false;
  }
  ++mCounters.framesSkipped;
  return true;
}

void IGfxWin::OnFrameTick(int count)
{
  if (IsLateFrame(count))
    return;
  ++mCounters.framesServed;
  mCounters.lastServedCount = count;
  if (ServeTextEntry())
    return;

  if (!mHostGivesScale && !GetCapture())
  {
    const float dpiScale = WindowDpiScale(mWindow);
    if (dpiScale != DisplayScale())
      SetDisplayScale(dpiScale);
  }

  IAreaList areas;
  if (!TickFrame(NowMs(), areas))
    return;
  for (const IArea& area : areas)
  {
    const RECT r = ToRect(ToDevicePixels(area));
    InvalidateRect(mWindow, &r, FALSE);
  }
  if (mEditWindow)
  {
    const RECT r = ToRect(ToDevicePixels(mEditArea));
    ValidateRect(mWindow, &r);
    UpdateWindow(mWindow);
    mEditState = kEditDrawn;
  }
  else
  {
    UpdateWindow(mWindow);
    if (mVBlank && mVBlank->count.load() != count)
      mSkipFramesUntil = mVBlank->count.load() + 1;
  }
}

} // namespace gfx
