#include "gfx/platforms/IGfxLinuxXState.h"

#include <X11/cursorfont.h>

namespace gfx {

namespace {

unsigned CursorFontShape(ECursor shape)
{
  switch (shape)
  {
  case ECursor::IBeam: return XC_xterm;
  case ECursor::Wait: return XC_watch;
  case ECursor::Cross: return XC_crosshair;
  case ECursor::UpArrow: return XC_sb_up_arrow;
  case ECursor::SizeNWSE: return XC_bottom_right_corner;
  case ECursor::SizeNESW: return XC_bottom_left_corner;
  case ECursor::SizeWE: return XC_sb_h_double_arrow;
  case ECursor::SizeNS: return XC_sb_v_double_arrow;
  case ECursor::SizeAll: return XC_fleur;
  case ECursor::No: return XC_X_cursor;
  case ECursor::Hand: return XC_hand2;
  case ECursor::AppStarting: return XC_watch;
  case ECursor::Help: return XC_question_arrow;
  default: return XC_left_ptr;
  }
}

} // namespace

// --- Cursor -------------------------------------------------------------------------------------

void IGfxLinux::QueryCursorPosition(float& x, float& y)
{
  x = mCursorX;
  y = mCursorY;
  if (!mWindow || mX->windowGone)
    return;
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned mask = 0;
  if (XQueryPointer(mX->display, mWindow, &root, &child, &rootX, &rootY, &winX, &winY, &mask))
  {
    x = static_cast<float>(winX);
    y = static_cast<float>(winY);
    FromDevicePoint(x, y);
  }
}

void IGfxLinux::DefineCursor()
{
  if (!mWindow || mX->windowGone)
    return;
  Display* display = mX->display;
  Cursor cursor = 0;
  if (IsCursorHidden())
  {
    if (!mX->blankCursor)
    {
      const char empty[1] = {0};
      Pixmap pixmap = XCreateBitmapFromData(display, mWindow, empty, 1, 1);
      XColor black = {};
      mX->blankCursor = XCreatePixmapCursor(display, pixmap, pixmap, &black, &black, 0, 0);
      XFreePixmap(display, pixmap);
    }
    cursor = mX->blankCursor;
  }
  else
  {
    const unsigned shape = CursorFontShape(CursorShape());
    auto it = mX->cursors.find(static_cast<int>(shape));
    if (it == mX->cursors.end())
      it = mX->cursors.emplace(static_cast<int>(shape), XCreateFontCursor(display, shape)).first;
    cursor = it->second;
  }
  XDefineCursor(display, mWindow, cursor);
  XFlush(display);
}

ECursor IGfxLinux::SetCursorShape(ECursor shape)
{
  const ECursor previous = IGfx::SetCursorShape(shape);
  DefineCursor();
  return previous;
}

void IGfxLinux::SetCursorHidden(bool hide, bool lock)
{
  if (UpdateCursorHidden(hide, lock))
    DefineCursor();
}

void IGfxLinux::WarpCursor(float x, float y)
{
  int deviceX = 0, deviceY = 0;
  if (!mWindow || mX->windowGone || !WarpTarget(x, y, deviceX, deviceY))
    return;
  XWarpPointer(mX->display, None, mWindow, 0, 0, 0, 0, deviceX, deviceY);
  XFlush(mX->display);
  PointerWarpedTo(deviceX, deviceY);
}

// --- Services not offered -------------------------------------------------------------------------

void IGfxLinux::CreateNativeTextEntry(int /*paramIdx*/, const ITextStyle& /*style*/, const IArea& /*area*/,
                                      int /*maxLength*/, const char* /*text*/)
{
  DiscardTextEntry();
}

IMenuModel* IGfxLinux::ShowNativeMenu(IMenuModel& /*menu*/, const IArea& /*area*/, bool& isAsync)
{
  isAsync = false;
  return nullptr;
}

EMsgBoxResult IGfxLinux::ShowMessageDialog(const char* /*text*/, const char* /*caption*/, EMsgBoxType /*type*/,
                                           MsgBoxCompletionFunc completion)
{
  if (completion)
    completion(EMsgBoxResult::Cancel);
  return EMsgBoxResult::Cancel;
}

void IGfxLinux::AskForFile(std::string& path, std::string& /*directory*/, EFileAction /*action*/,
                           const char* /*extensions*/, FileDialogCompletionFunc /*completion*/)
{
  path.clear();
}

void IGfxLinux::AskForDirectory(std::string& directory, FileDialogCompletionFunc /*completion*/)
{
  directory.clear();
}

bool IGfxLinux::AskForColour(IRgba& /*colour*/, const char* /*prompt*/, ColourPickerCompletionFunc /*completion*/)
{
  return false;
}

bool IGfxLinux::OpenWebPage(const char* /*url*/, const char* /*caption*/, const char* /*question*/,
                            const char* /*failureMessage*/)
{
  return false;
}

bool IGfxLinux::ReadClipboardText(std::string& text)
{
  text.clear();
  return false;
}

bool IGfxLinux::WriteClipboardText(const char* /*text*/)
{
  return false;
}

} // namespace gfx
