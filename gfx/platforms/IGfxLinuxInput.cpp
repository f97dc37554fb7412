#include "gfx/platforms/IGfxLinuxXState.h"

#include "gfx/platforms/X11Keys.h"

#include <cstdlib>

namespace gfx {

void IGfxLinux::OnXEvents()
{
  HandleXEvents();
  if (mWindow)
    DrawPending();
}

void IGfxLinux::HandleXEvents()
{
  if (!mWindow || mInEvents)
    return;
  mInEvents = true;
  Display* display = mX->display;
  while (mWindow && XPending(display) > 0)
  {
    XEvent event;
    XNextEvent(display, &event);
    // Only the newest of a run of pointer motions matters.
    if (event.type == MotionNotify)
    {
      XEvent next;
      while (XEventsQueued(display, QueuedAlready) > 0)
      {
        XPeekEvent(display, &next);
        if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window ||
            next.xmotion.state != event.xmotion.state)
          break;
        XNextEvent(display, &event);
      }
    }
    HandleEvent(&event);
  }
  mInEvents = false;
}

IMouseState IGfxLinux::MouseState(int x, int y, unsigned state)
{
  IMouseState p;
  p.x = static_cast<float>(x);
  p.y = static_cast<float>(y);
  FromDevicePoint(p.x, p.y);
  p.ms.L = (state & Button1Mask) != 0;
  p.ms.R = (state & Button3Mask) != 0;
  p.ms.S = (state & ShiftMask) != 0;
  p.ms.C = (state & ControlMask) != 0;
  p.ms.A = (state & Mod1Mask) != 0;
  return p;
}

void IGfxLinux::HandleEvent(const void* anyEvent)
{
  const XEvent& event = *static_cast<const XEvent*>(anyEvent);
  if (event.xany.window != mWindow)
    return;
  Display* display = mX->display;
  switch (event.type)
  {
  case Expose:
  {
    ++mCounters.exposes;
    mX->exposed = true;
    break;
  }
  case ButtonPress:
  {
    const XButtonEvent& e = event.xbutton;
    if (e.button == Button4 || e.button == Button5)
    {
      IMouseState p = MouseState(e.x, e.y, e.state);
      mCursorX = p.x;
      mCursorY = p.y;
      DispatchWheel(p.x, p.y, p.ms, e.button == Button4 ? 1.f : -1.f);
      break;
    }
    if (e.button != Button1 && e.button != Button3)
      break;
    mLastInputWasTouch = false;
    XSetInputFocus(display, mWindow, RevertToParent, e.time);
    IMouseState p = MouseState(e.x, e.y, e.state);
    p.ms.L = p.ms.L || e.button == Button1;
    p.ms.R = p.ms.R || e.button == Button3;
    mCursorX = p.x;
    mCursorY = p.y;
    const bool doubleClick = e.button == mLastPressButton && e.time - mLastPressTime <= kDoubleClickMs &&
                             std::abs(e.x - mLastPressX) <= 4 && std::abs(e.y - mLastPressY) <= 4;
    mX->buttonsDown |= 1u << e.button;
    if (doubleClick)
    {
      mLastPressButton = 0; // a third press starts over
      DispatchDoubleClick(p);
    }
    else
    {
      mLastPressButton = e.button;
      mLastPressTime = e.time;
      mLastPressX = e.x;
      mLastPressY = e.y;
      DispatchMouseDown({p});
    }
    break;
  }
  case ButtonRelease:
  {
    const XButtonEvent& e = event.xbutton;
    if (e.button != Button1 && e.button != Button3)
      break;
    mX->buttonsDown &= ~(1u << e.button);
    IMouseState p = MouseState(e.x, e.y, e.state);
    // The state is from before the release: the released button is up now.
    if (e.button == Button1)
      p.ms.L = false;
    else
      p.ms.R = false;
    DispatchMouseUp({p});
    break;
  }
  case MotionNotify:
  {
    const XMotionEvent& e = event.xmotion;
    const bool dragging = mX->buttonsDown && (e.state & (Button1Mask | Button3Mask));
    OnPointerMoved(MouseState(e.x, e.y, e.state), dragging);
    break;
  }
  case DestroyNotify:
    // The host destroyed its window, and ours with it: nothing is drawn into it any more.
    mX->windowGone = true;
    mPendingAreas.clear();
    break;
  case LeaveNotify:
    // Leaving while a button is held is part of a drag (the pointer is grabbed).
    if (event.xcrossing.mode == NotifyNormal && !mX->buttonsDown)
      DispatchMouseLeave();
    break;
  case KeyPress:
  case KeyRelease:
  {
    XKeyEvent e = event.xkey;
    char text[8] = {};
    KeySym sym = NoSymbol;
    const int length = XLookupString(&e, text, sizeof(text), &sym, nullptr);
    const IKeyEvent key = X11KeyEvent(sym, text, length, e.state);
    const IMouseState p = MouseState(e.x, e.y, e.state);
    const bool handled = event.type == KeyPress ? OnKeyDown(p.x, p.y, key) : OnKeyUp(p.x, p.y, key);
    // Unused keys go on to the host's window (its transport and shortcuts),
    // but only keys typed here: one the host sent in (send_event) is the
    // host's own already, and hosts that hand their keys to the child would
    // send it back again and again.
    if (!handled && !e.send_event && mX->parent && mX->parent != e.window)
    {
      XEvent forward = event;
      forward.xkey.window = mX->parent;
      XSendEvent(display, mX->parent, True, event.type == KeyPress ? KeyPressMask : KeyReleaseMask, &forward);
      XFlush(display);
    }
    break;
  }
  default:
    break;
  }
}

} // namespace gfx
