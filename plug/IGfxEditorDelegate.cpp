#include "plug/IGfxEditorDelegate.h"

#include "plug/Trace.h"

#include <thread>

namespace plug {

IGfxEditorDelegate::IGfxEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGfxEditorDelegate::~IGfxEditorDelegate()
{
  DestroyGraphics();
}

void IGfxEditorDelegate::DestroyGraphics()
{
  // Sequentially consistent on both sides: either a sender sees no context,
  // or this thread sees the sender and waits until it has left.
  mSharedGraphics.store(nullptr);
  while (mSharedGraphicsUsers.load() != 0)
    std::this_thread::yield();
  mGraphics.reset();
}

void IGfxEditorDelegate::RememberEditorSize(int width, int height, float scale)
{
  mRememberedWidth = width;
  mRememberedHeight = height;
  mRememberedScale = scale;
}

void* IGfxEditorDelegate::OpenEditor(void* parent)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::OpenEditor");
  if (!mGraphics)
  {
    mGraphics = BuildGraphics();
    if (!mGraphics)
      return nullptr;
    if (mRememberedWidth != 0 && mRememberedHeight != 0 && mRememberedScale != 0.f)
      mGraphics->SetEditorSize(mRememberedWidth, mRememberedHeight, mRememberedScale);
    mSharedGraphics.store(mGraphics.get());
  }
  return mGraphics->OpenEditorWindow(parent);
}

void IGfxEditorDelegate::CloseEditor()
{
  PLUG_TRACE("plug::IGfxEditorDelegate::CloseEditor");
  if (mClosing)
    return;
  mClosing = true;
  OnEditorClosed();
  if (mGraphics)
  {
    RememberEditorSize(mGraphics->GetWidth(), mGraphics->GetHeight(), mGraphics->GetDrawScale());
    mGraphics->CloseEditorWindow();
    DestroyGraphics();
  }
  mClosing = false;
}

bool IGfxEditorDelegate::ForwardKeyDown(const IKeyEvent& key)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::ForwardKeyDown");
  if (!mGraphics)
    return false;
  float x = 0.f, y = 0.f;
  mGraphics->QueryCursorPosition(x, y);
  return mGraphics->OnKeyDown(x, y, key);
}

bool IGfxEditorDelegate::ForwardKeyUp(const IKeyEvent& key)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::ForwardKeyUp");
  if (!mGraphics)
    return false;
  float x = 0.f, y = 0.f;
  mGraphics->QueryCursorPosition(x, y);
  return mGraphics->OnKeyUp(x, y, key);
}

void IGfxEditorDelegate::SendControlValueToEditor(int controlTag, double normalized)
{
  if (mGraphics)
    mGraphics->SetControlValueByTag(controlTag, normalized);
}

void IGfxEditorDelegate::SendControlMessageToEditor(int controlTag, int messageTag, int dataSize, const void* data)
{
  if (mGraphics)
    mGraphics->SendMessageToControl(controlTag, messageTag, dataSize, data);
}

void IGfxEditorDelegate::SendMidiToEditor(const IMidiMsg& message)
{
  if (mGraphics)
    mGraphics->SendMidiToControls(message);
  IEditorDelegate::SendMidiToEditor(message);
}

void IGfxEditorDelegate::SendParameterValueToEditor(int paramIdx, double value, bool normalized)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::SendParameterValueToEditor");
  mSharedGraphicsUsers.fetch_add(1);
  IGraphicsContext* graphics = mSharedGraphics.load();
  const IParam* param = GetParameter(paramIdx);
  if (graphics && param)
    graphics->SetControlValuesOfParam(paramIdx, normalized ? value : param->Normalize(value));
  mSharedGraphicsUsers.fetch_sub(1);
  OnParamChangeForEditor(paramIdx, kDelegate);
}

bool IGfxEditorDelegate::SaveEditorSize(StateChunk& chunk) const
{
  int32_t width = mRememberedWidth;
  int32_t height = mRememberedHeight;
  float scale = mRememberedScale;
  if (mGraphics)
  {
    width = mGraphics->GetWidth();
    height = mGraphics->GetHeight();
    scale = mGraphics->GetDrawScale();
  }
  return chunk.Put(width) >= 0 && chunk.Put(height) >= 0 && chunk.Put(scale) >= 0;
}

int IGfxEditorDelegate::LoadEditorSize(const StateChunk& chunk, int pos)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::LoadEditorSize");
  int32_t width = 0;
  int32_t height = 0;
  float scale = 0.f;
  pos = chunk.Get(width, pos);
  pos = chunk.Get(height, pos);
  pos = chunk.Get(scale, pos);
  // A truncated image must not wipe the size remembered for the next save.
  if (!mGraphics)
  {
    if (pos >= 0)
      RememberEditorSize(width, height, scale);
  }
  else if (width != 0 && height != 0 && scale != 0.f)
    mGraphics->SetEditorSize(width, height, scale);
  return pos;
}

void IGfxEditorDelegate::ApplyScreenScale(float scale)
{
  if (mGraphics)
    mGraphics->SetDisplayScale(scale);
}

std::unique_ptr<IGraphicsContext> IGfxEditorDelegate::BuildGraphics()
{
  PLUG_TRACE("plug::IGfxEditorDelegate::BuildGraphics");
  return MakeGraphicsFunction ? MakeGraphicsFunction() : nullptr;
}

void IGfxEditorDelegate::BuildLayout(IGraphicsContext* graphics)
{
  PLUG_TRACE("plug::IGfxEditorDelegate::BuildLayout");
  if (LayoutFunction)
    LayoutFunction(graphics);
}

} // namespace plug
