#pragma once

// Stand-ins for the framework tests: a graphics context that records what it
// was asked to do, and a plug-in object that records which hooks ran.

#include "plug/plug.h"

#include <memory>
#include <string>
#include <vector>

namespace plugtest {

inline std::string Call(const char* name, double a)
{
  return std::string(name) + "(" + std::to_string(a) + ")";
}

inline std::string Call(const char* name, double a, double b)
{
  return std::string(name) + "(" + std::to_string(a) + "," + std::to_string(b) + ")";
}

inline std::string Call(const char* name, double a, double b, double c)
{
  return std::string(name) + "(" + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + ")";
}

/** What a FakeGraphics did; kept by the test so it survives the context. */
struct GraphicsLog
{
  std::vector<std::string> calls;
  int width = 998;
  int height = 386;
  float drawScale = 1.f;
  float cursorX = 0.f;
  float cursorY = 0.f;
  bool keyHandled = true;
  bool destroyed = false;
  bool canPark = false; // the editor keeps its resources when closed
  int built = 0;
  void* window = reinterpret_cast<void*>(0x1234);
};

class FakeGraphics : public plug::IEditor
{
public:
  explicit FakeGraphics(GraphicsLog& log) : mLog(log)
  {
    mLog.destroyed = false;
    ++mLog.built;
  }
  ~FakeGraphics() override { mLog.destroyed = true; }

  int GetWidth() const override { return mLog.width; }
  int GetHeight() const override { return mLog.height; }
  float GetDrawScale() const override { return mLog.drawScale; }
  void SetEditorSize(int width, int height, float drawScale) override
  {
    mLog.width = width;
    mLog.height = height;
    mLog.drawScale = drawScale;
    mLog.calls.push_back(Call("SetEditorSize", width, height, drawScale));
  }
  void SetDisplayScale(float scale) override { mLog.calls.push_back(Call("SetDisplayScale", scale)); }
  void* OpenEditorWindow(void* parent) override
  {
    mLog.calls.push_back(Call("OpenEditorWindow", static_cast<double>(reinterpret_cast<size_t>(parent))));
    return mLog.window;
  }
  void CloseEditorWindow() override { mLog.calls.push_back("CloseEditorWindow"); }
  bool ParkEditorWindow() override
  {
    if (mLog.canPark)
      mLog.calls.push_back("ParkEditorWindow");
    return mLog.canPark;
  }
  void QueryCursorPosition(float& x, float& y) override
  {
    x = mLog.cursorX;
    y = mLog.cursorY;
  }
  bool OnKeyDown(float x, float y, const plug::IKeyEvent& key) override
  {
    mLog.calls.push_back(Call("OnKeyDown", x, y, key.vk));
    return mLog.keyHandled;
  }
  bool OnKeyUp(float x, float y, const plug::IKeyEvent& key) override
  {
    mLog.calls.push_back(Call("OnKeyUp", x, y, key.vk));
    return mLog.keyHandled;
  }
  void SetControlValuesOfParam(int paramIdx, double normalized) override
  {
    mLog.calls.push_back(Call("SetControlValuesOfParam", paramIdx, normalized));
  }
  void SetControlValueByTag(int controlTag, double normalized) override
  {
    mLog.calls.push_back(Call("SetControlValueByTag", controlTag, normalized));
  }
  void SendMessageToControl(int controlTag, int messageTag, int dataSize, const void*) override
  {
    mLog.calls.push_back(Call("SendMessageToControl", controlTag, messageTag, dataSize));
  }
  void SendMidiToControls(const plug::IMidiMsg& message) override
  {
    mLog.calls.push_back(Call("SendMidiToControls", message.status));
  }

private:
  GraphicsLog& mLog;
};

/** A definition record with n linear 0..1 parameters and an editor of 998 x 386. */
inline plug::IPluginDefinition TestDefinition(int nParams, int nPresets = 1, const char* channelIO = "2-2")
{
  plug::IPluginDefinition def;
  def.paramCount = nParams;
  def.presetCount = nPresets;
  def.channelIO = channelIO;
  def.pluginName = "KORVEL";
  def.productName = "KORVEL";
  def.makerName = "Vantrel";
  def.version = 0x00010000;
  def.pluginCode = plug::MakeFourCharCode("KRV1");
  def.makerCode = plug::MakeFourCharCode("Vtrl");
  def.hasEditor = true;
  def.editorWidth = 998;
  def.editorHeight = 386;
  def.minWidth = 499;
  def.maxWidth = 1996;
  def.minHeight = 193;
  def.maxHeight = 772;
  return def;
}

/** A plug-in object that logs the hooks the framework calls. */
class RecordingPlugin : public plug::IPluginAPIBase
{
public:
  explicit RecordingPlugin(const plug::IPluginDefinition& def) : IPluginAPIBase(def) {}

  using IPluginAPIBase::OnParamChange;
  using IPluginAPIBase::mMidiMsgsFromEditor;
  using IPluginAPIBase::mMidiMsgsForEditor;
  using IPluginAPIBase::mParamChangeToEditorQueue;
  using IPluginAPIBase::mSysExDataForEditor;
  using IPluginAPIBase::mSysExDataFromEditor;

  /** Installs a MakeGraphicsFunction that builds FakeGraphics writing into log. */
  void UseFakeGraphics(GraphicsLog& log)
  {
    MakeGraphicsFunction = [&log]() { return std::make_unique<FakeGraphics>(log); };
  }

  void OnParamChange(int paramIdx) override { events.push_back(Call("OnParamChange", paramIdx)); }
  void OnParamChangeForEditor(int paramIdx, int source) override
  {
    events.push_back(Call("OnParamChangeForEditor", paramIdx, source));
  }
  void OnEditorClosed() override
  {
    events.push_back("OnEditorClosed");
    if (closeAgainWhenClosed)
      CloseEditor();
  }
  void OnMidiForEditor(const plug::IMidiMsg& message) override { events.push_back(Call("OnMidiForEditor", message.status)); }
  void OnSysexForEditor(const plug::ISysEx& message) override
  {
    events.push_back(Call("OnSysexForEditor", message.offset, message.size, message.data ? message.data[0] : -1));
  }
  bool ReceiveMessage(int messageTag, int controlTag, int dataSize, const void*) override
  {
    events.push_back(Call("ReceiveMessage", messageTag, controlTag, dataSize));
    return true;
  }
  void OnIdleTick() override { events.push_back("OnIdleTick"); }
  void OnHostKnown() override { events.push_back("OnHostKnown"); }
  void PresetsChanged() override { events.push_back("PresetsChanged"); }
  bool RequestEditorResize(int width, int height) override
  {
    events.push_back(Call("RequestEditorResize", width, height));
    return false;
  }
  void BeginHostEdit(int paramIdx) override { events.push_back(Call("BeginHostEdit", paramIdx)); }
  void EndHostEdit(int paramIdx) override { events.push_back(Call("EndHostEdit", paramIdx)); }
  void PerformHostEdit(int paramIdx, double normalized) override
  {
    // The plain value is already set when the host hears of the edit.
    events.push_back(Call("PerformHostEdit", paramIdx, normalized, GetParameter(paramIdx)->GetPlain()));
  }

  std::vector<std::string> events;
  bool closeAgainWhenClosed = false;
};

} // namespace plugtest
