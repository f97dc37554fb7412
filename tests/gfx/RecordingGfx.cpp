#include "RecordingGfx.h"

#include <cstdio>
#include <cstring>

namespace gfxtest {

std::string Call(const char* name, std::initializer_list<double> args)
{
  std::string text = name;
  text += "(";
  bool first = true;
  for (double a : args)
  {
    char number[32];
    std::snprintf(number, sizeof(number), "%g", a);
    if (!first)
      text += ",";
    text += number;
    first = false;
  }
  return text + ")";
}

namespace {

int gAliveBitmaps = 0;

std::string AreaText(const gfx::IArea& a)
{
  char text[96];
  std::snprintf(text, sizeof(text), "%g,%g,%g,%g", a.L, a.T, a.R, a.B);
  return text;
}

std::string ColourText(const gfx::IFillPattern& pattern)
{
  if (pattern.stops.empty())
    return "none";
  const gfx::IRgba& c = pattern.stops[0].colour;
  char text[64];
  std::snprintf(text, sizeof(text), "%d,%d,%d,%d", c.A, c.R, c.G, c.B);
  return text;
}

} // namespace

RecordingDelegate::RecordingDelegate(int nParams) : IGfxEditorDelegate(nParams)
{
  SetEditorDimensions(998, 386);
  SetEditorSizeLimits(499, 1996, 193, 772);
}

void RecordingDelegate::BeginHostEditFromEditor(int paramIdx)
{
  events.push_back(Call("Begin", {double(paramIdx)}));
}

void RecordingDelegate::SetParameterFromEditor(int paramIdx, double normalized)
{
  events.push_back(Call("Set", {double(paramIdx), normalized}));
  IGfxEditorDelegate::SetParameterFromEditor(paramIdx, normalized);
}

void RecordingDelegate::EndHostEditFromEditor(int paramIdx)
{
  events.push_back(Call("End", {double(paramIdx)}));
}

bool RecordingDelegate::ResizeFromEditor(int width, int height, bool)
{
  events.push_back(Call("ResizeFromEditor", {double(width), double(height)}));
  return resizeAccepted;
}

bool RecordingDelegate::OpenHostParameterMenu(int paramIdx, int x, int y,
                                              const std::vector<plug::IHostMenuItem>& items,
                                              plug::HostMenuItemFunc onItem)
{
  events.push_back(Call("HostMenu", {double(paramIdx), double(x), double(y), double(items.size())}));
  lastHostMenuItems = items;
  if (hostMenuChoice >= 0 && onItem)
    onItem(hostMenuChoice);
  return true;
}

void RecordingDelegate::OnEditorOpened()
{
  events.push_back("OnEditorOpened");
  IGfxEditorDelegate::OnEditorOpened();
}

RecordingBitmap::RecordingBitmap(int width, int height, float scale, float drawScale)
  : APIBitmap(width, height, scale, drawScale)
{
  ++gAliveBitmaps;
}

RecordingBitmap::~RecordingBitmap()
{
  --gAliveBitmaps;
}

int RecordingBitmap::Alive()
{
  return gAliveBitmaps;
}

RecordingGfx::RecordingGfx(plug::IGfxEditorDelegate* delegate, int width, int height, float scale)
  : IGfx(delegate, width, height, 60, scale)
{
}

RecordingGfx::~RecordingGfx()
{
  CloseEditorWindow();
}

std::vector<std::string> RecordingGfx::CallsStartingWith(const std::string& prefix) const
{
  std::vector<std::string> found;
  for (const std::string& c : calls)
  {
    if (c.compare(0, prefix.size(), prefix) == 0)
      found.push_back(c);
  }
  return found;
}

bool RecordingGfx::Frame(double nowMs)
{
  const bool dirty = TickFrame(nowMs, lastAreas);
  if (dirty)
    RenderAreas(lastAreas);
  return dirty;
}

void* RecordingGfx::OpenEditorWindow(void* parent)
{
  calls.push_back("OpenEditorWindow");
  static int window;
  mWindow = parent ? parent : &window;
  BuildLayout();
  MarkAllDirty();
  NotifyEditorOpened();
  return mWindow;
}

void RecordingGfx::CloseEditorWindow()
{
  if (!mWindow)
    return;
  calls.push_back("CloseEditorWindow");
  ClearControls();
  ClearBitmapCache();
  mWindow = nullptr;
}

void RecordingGfx::QueryCursorPosition(float& x, float& y)
{
  x = cursorX;
  y = cursorY;
}

void RecordingGfx::SetCursorHidden(bool hide, bool lock)
{
  if (hide == IsCursorHidden())
    return;
  calls.push_back(Call("SetCursorHidden", {double(hide), double(lock)}));
  UpdateCursorHidden(hide, lock);
}

void RecordingGfx::WarpCursor(float x, float y)
{
  int deviceX = 0, deviceY = 0;
  if (!WarpTarget(x, y, deviceX, deviceY))
    return;
  calls.push_back(Call("WarpCursor", {x, y}));
  PointerWarpedTo(deviceX, deviceY); // the pointer lands where it was sent
}

gfx::ECursor RecordingGfx::SetCursorShape(gfx::ECursor shape)
{
  calls.push_back(Call("SetCursorShape", {double(static_cast<int>(shape))}));
  return IGfx::SetCursorShape(shape);
}

void RecordingGfx::CancelTextEntry()
{
  calls.push_back("CancelTextEntry");
}

bool RecordingGfx::ReadClipboardText(std::string& text)
{
  text = clipboard;
  return !clipboard.empty();
}

bool RecordingGfx::WriteClipboardText(const char* text)
{
  clipboard = text ? text : "";
  return !clipboard.empty();
}

gfx::EMsgBoxResult RecordingGfx::ShowMessageDialog(const char* text, const char*, gfx::EMsgBoxType,
                                                   MsgBoxCompletionFunc completion)
{
  calls.push_back(std::string("ShowMessageDialog(") + (text ? text : "") + ")");
  ClearCaptures();
  if (completion)
    completion(gfx::EMsgBoxResult::OK);
  return gfx::EMsgBoxResult::OK;
}

void RecordingGfx::AskForFile(std::string& path, std::string& directory, gfx::EFileAction, const char*,
                              FileDialogCompletionFunc completion)
{
  calls.push_back("AskForFile");
  path.clear();
  if (completion)
    completion(path, directory);
}

void RecordingGfx::AskForDirectory(std::string& directory, FileDialogCompletionFunc completion)
{
  calls.push_back("AskForDirectory");
  directory.clear();
  if (completion)
    completion("", directory);
}

bool RecordingGfx::AskForColour(gfx::IRgba&, const char*, ColourPickerCompletionFunc)
{
  calls.push_back("AskForColour");
  return false;
}

bool RecordingGfx::OpenWebPage(const char* url, const char*, const char*, const char*)
{
  calls.push_back(std::string("OpenWebPage(") + (url ? url : "") + ")");
  return false;
}

void RecordingGfx::CreateNativeTextEntry(int paramIdx, const gfx::ITextStyle&, const gfx::IArea& area,
                                         int maxLength, const char* text)
{
  lastTextEntry = text ? text : "";
  lastTextEntryParam = paramIdx;
  calls.push_back("CreateNativeTextEntry(" + std::to_string(paramIdx) + "," + AreaText(area) + "," +
                  std::to_string(maxLength) + "," + lastTextEntry + ")");
}

gfx::IMenuModel* RecordingGfx::ShowNativeMenu(gfx::IMenuModel& menu, const gfx::IArea& area, bool& isAsync)
{
  std::string text = "ShowNativeMenu(" + menu.GetTitle() + "," + AreaText(area);
  for (int i = 0; i < menu.NItems(); ++i)
    text += std::string(",") + (menu.GetItem(i)->IsChecked() ? "*" : "") + menu.GetItem(i)->text;
  calls.push_back(text + ")");
  isAsync = false;
  if (menuChoice < 0 || menuChoice >= menu.NItems())
    return nullptr;
  menu.SetChosenItemIdx(menuChoice);
  menu.ExecCompletion();
  return &menu;
}

void RecordingGfx::ResizeHostWindow(bool parentResized)
{
  calls.push_back(Call("ResizeHostWindow", {double(parentResized)}));
}

void RecordingGfx::OnBackingResized()
{
  calls.push_back("OnBackingResized");
}

void RecordingGfx::StartFrame()
{
  calls.push_back("StartFrame");
}

void RecordingGfx::FinishFrame()
{
  calls.push_back("FinishFrame");
}

void RecordingGfx::BlitBitmap(const gfx::IBitmap& bitmap, const gfx::IArea& dest, int srcX, int srcY,
                              const gfx::IBlendMode* blend)
{
  char text[256];
  std::snprintf(text, sizeof(text), "BlitBitmap(%s,%s,%d,%d,%g)", bitmap.GetName().c_str(), AreaText(dest).c_str(),
                srcX, srcY, gfx::BlendWeight(blend));
  calls.push_back(text);
}

bool RecordingGfx::SupportsImageExtension(const char* extension)
{
  const std::string e = extension ? extension : "";
  return e == "png" || e == "jpg" || e == "jpeg";
}

void RecordingGfx::PathReset()
{
  calls.push_back("PathReset");
}

void RecordingGfx::PathCloseFigure()
{
  calls.push_back("PathCloseFigure");
}

void RecordingGfx::PathAddArc(float cx, float cy, float r, float a1, float a2, gfx::EWinding winding)
{
  calls.push_back(Call("PathAddArc", {cx, cy, r, a1, a2, double(static_cast<int>(winding))}));
}

void RecordingGfx::PathMove(float x, float y)
{
  calls.push_back(Call("PathMove", {x, y}));
}

void RecordingGfx::PathLine(float x, float y)
{
  calls.push_back(Call("PathLine", {x, y}));
}

void RecordingGfx::PathCubic(float c1x, float c1y, float c2x, float c2y, float x, float y)
{
  calls.push_back(Call("PathCubic", {c1x, c1y, c2x, c2y, x, y}));
}

void RecordingGfx::PathQuadratic(float cx, float cy, float x, float y)
{
  calls.push_back(Call("PathQuadratic", {cx, cy, x, y}));
}

void RecordingGfx::PathStrokeWith(const gfx::IFillPattern& pattern, float thickness, const gfx::IStrokeStyle& style,
                                  const gfx::IBlendMode* blend)
{
  char text[160];
  std::snprintf(text, sizeof(text), "Stroke(%s,%g,%d,%g)", ColourText(pattern).c_str(), thickness,
                static_cast<int>(style.dashes.size()), gfx::BlendWeight(blend));
  calls.push_back(text);
}

void RecordingGfx::PathFillWith(const gfx::IFillPattern& pattern, const gfx::IFillStyle&, const gfx::IBlendMode* blend)
{
  char text[160];
  std::snprintf(text, sizeof(text), "Fill(%s,%g)", ColourText(pattern).c_str(), gfx::BlendWeight(blend));
  calls.push_back(text);
}

void RecordingGfx::SetClipArea(const gfx::IArea& area)
{
  calls.push_back("SetClipArea(" + AreaText(area) + ")");
}

void RecordingGfx::ReadLayerPixels(const gfx::ILayerPtr& layer, std::vector<uint8_t>& rgba)
{
  rgba.assign(layer && layer->bitmap ? size_t(layer->bitmap->GetWidth()) * size_t(layer->bitmap->GetHeight()) * 4 : 0,
              0);
}

std::unique_ptr<gfx::APIBitmap> RecordingGfx::LoadBackendBitmap(const gfx::DecodedImage& image, float scale)
{
  calls.push_back(Call("LoadBackendBitmap", {double(image.width), double(image.height), scale}));
  if (!bitmapAccepted)
    return nullptr;
  return std::make_unique<RecordingBitmap>(image.width, image.height, scale, 1.f);
}

std::unique_ptr<gfx::APIBitmap> RecordingGfx::CreateBackendBitmap(int width, int height, float scale,
                                                                  float drawScale, bool)
{
  calls.push_back(Call("CreateBackendBitmap", {double(width), double(height), scale, drawScale}));
  return std::make_unique<RecordingBitmap>(width, height, scale, drawScale);
}

bool RecordingGfx::LoadBackendFont(const char* fontId, const gfx::FontData& font)
{
  calls.push_back(std::string("LoadBackendFont(") + fontId + "," + font.descriptor.family + ")");
  return fontAccepted;
}

float RecordingGfx::MeasureTextImpl(const gfx::ITextStyle& style, const char* text, gfx::IArea& bounds)
{
  const float w = 7.f * static_cast<float>(std::strlen(text));
  const float h = 14.f;
  float x = bounds.L;
  if (style.align == gfx::EAlign::Centre)
    x = bounds.MW() - 0.5f * w;
  else if (style.align == gfx::EAlign::Far)
    x = bounds.R - w;
  float y = bounds.T;
  if (style.valign == gfx::EVAlign::Middle)
    y = bounds.MH() - 0.5f * h;
  else if (style.valign == gfx::EVAlign::Bottom)
    y = bounds.B - h;
  bounds = gfx::IArea(x, y, x + w, y + h);
  return w;
}

void RecordingGfx::PrintTextImpl(const gfx::ITextStyle&, const char* text, const gfx::IArea& area,
                                 const gfx::IBlendMode* blend)
{
  char weight[32];
  std::snprintf(weight, sizeof(weight), "%g", gfx::BlendWeight(blend));
  calls.push_back(std::string("PrintText(") + text + "," + AreaText(area) + "," + weight + ")");
}

RecordingControl::RecordingControl(std::vector<std::string>& log, const char* name, const gfx::IArea& area,
                                   int paramIdx)
  : IControl(area, paramIdx), mLog(log), mName(name)
{
}

void RecordingControl::HandleMouseDown(float x, float y, const gfx::IMouseMods& mod)
{
  mLog.push_back(mName + ":" + Call("Down", {x, y, double(mod.R)}));
  IControl::HandleMouseDown(x, y, mod);
}

void RecordingControl::HandleMouseUp(float x, float y, const gfx::IMouseMods&)
{
  mLog.push_back(mName + ":" + Call("Up", {x, y}));
}

void RecordingControl::HandleMouseDrag(float x, float y, float dX, float dY, const gfx::IMouseMods&)
{
  mLog.push_back(mName + ":" + Call("Drag", {x, y, dX, dY}));
}

void RecordingControl::HandleDoubleClick(float x, float y, const gfx::IMouseMods& mod)
{
  mLog.push_back(mName + ":" + Call("DoubleClick", {x, y}));
  IControl::HandleDoubleClick(x, y, mod);
}

void RecordingControl::HandleWheel(float x, float y, const gfx::IMouseMods&, float delta)
{
  mLog.push_back(mName + ":" + Call("Wheel", {x, y, delta}));
}

bool RecordingControl::HandleKeyDown(float x, float y, const gfx::IKeyEvent& key)
{
  mLog.push_back(mName + ":" + Call("KeyDown", {x, y, double(key.vk)}));
  return takesKeys;
}

void RecordingControl::HandleMouseOver(float x, float y, const gfx::IMouseMods& mod)
{
  if (!PointerIsOver())
    mLog.push_back(mName + ":Over");
  IControl::HandleMouseOver(x, y, mod);
}

void RecordingControl::HandleMouseOut()
{
  if (PointerIsOver())
    mLog.push_back(mName + ":Out");
  IControl::HandleMouseOut();
}

void RecordingControl::HandleFileDrop(const char* path)
{
  mLog.push_back(mName + ":Drop(" + (path ? path : "") + ")");
}

void RecordingControl::HandleContextMenuItem(int itemIndex)
{
  mLog.push_back(mName + ":" + Call("ContextMenuItem", {double(itemIndex)}));
}

void RecordingControl::HandleTextEntryResult(const char* text, int valIdx)
{
  mLog.push_back(mName + ":TextEntry(" + (text ? text : "") + "," + std::to_string(valIdx) + ")");
}

void RecordingControl::FillContextMenu(gfx::IMenuModel& menu)
{
  for (const std::string& item : contextItems)
    menu.AddItem(item.c_str());
}

void RecordingControl::Paint(gfx::IGfx& g)
{
  mLog.push_back(mName + ":Paint");
  g.PaintRect(gfx::kColourBlack, Area());
}

} // namespace gfxtest
