#pragma once

// The plug-in object as a VST3 single-component effect: one object that is
// the host's component, audio processor and edit controller at once. A
// plug-in class derives from IPluginVST3 and hands it its definition record.

#include "plug/vst3/VST3Sdk.h"

#include "plug/IPluginAPIBase.h"
#include "plug/IPluginDefinition.h"
#include "plug/vst3/IEditorValueReadout.h"
#include "plug/vst3/IPluginVST3ControllerBase.h"
#include "plug/vst3/IPluginVST3Parameter.h"
#include "plug/vst3/IPluginVST3ProcessorBase.h"
#include "plug/vst3/VST3IdleDriver.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace plug {

/** What the factory passes to the plug-in constructor when a host creates an instance. */
struct InstanceInfo
{
};

class IPluginVST3View;

class IPluginVST3 : public IPluginAPIBase,
                    public IPluginVST3ProcessorBase,
                    public IPluginVST3ControllerBase,
                    public Steinberg::Vst::SingleComponentEffect,
                    public Steinberg::Vst::IMidiMapping,
                    public Steinberg::Vst::ChannelContext::IInfoListener,
                    public IEditorValueReadout
{
public:
  IPluginVST3(const InstanceInfo& info, const IPluginDefinition& definition);
  ~IPluginVST3() override;

  // IPluginBase (VST3)
  /** Also starts the idle work, on the run loop the context offers if any (VST3IdleDriver). */
  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
  /** Stops the idle work first. */
  Steinberg::tresult PLUGIN_API terminate() override;

  // IComponent
  Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
  /** The bus calls refuse a negative index (the SDK's own versions would throw through the host). */
  Steinberg::tresult PLUGIN_API getBusInfo(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                           Steinberg::int32 index, Steinberg::Vst::BusInfo& info) override;
  Steinberg::tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                            Steinberg::int32 index, Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;

  // IAudioProcessor
  Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, Steinberg::int32 numIns,
                                                   Steinberg::Vst::SpeakerArrangement* outputs,
                                                   Steinberg::int32 numOuts) override;
  Steinberg::tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                                                  Steinberg::Vst::SpeakerArrangement& arrangement) override;
  Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
  Steinberg::uint32 PLUGIN_API getLatencySamples() override;
  Steinberg::uint32 PLUGIN_API getTailSamples() override;
  Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
  Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;

  // IProcessContextRequirements
  Steinberg::uint32 PLUGIN_API getProcessContextRequirements() override;

  // IEditController
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) override;
  Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API setEditorState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API getEditorState(Steinberg::IBStream* state) override;
  /** Never while the idle work runs on another thread. */
  Steinberg::tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) override;
  /** "editor" gives the editor's view (when the plug-in has an editor and no view lives yet); other names nothing. */
  Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

  // IUnitInfo
  Steinberg::tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId, Steinberg::int32 programIndex,
                                               Steinberg::Vst::String128 name) override;

  // IMidiMapping
  Steinberg::tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                            Steinberg::Vst::CtrlNumber midiControllerNumber,
                                                            Steinberg::Vst::ParamID& id) override;

  // IInfoListener
  Steinberg::tresult PLUGIN_API setChannelContextInfos(Steinberg::Vst::IAttributeList* list) override;

  // IEditorValueReadout
  double PLUGIN_API getLastEditorValue(Steinberg::int32 paramIdx) override;

  // FUnknown
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  REFCOUNT_METHODS(SingleComponentEffect)
  OBJ_METHODS(IPluginVST3, SingleComponentEffect)

  // Framework slots
  void PushAllParametersToHost() override;
  void SetParameterFromEditor(int paramIdx, double normalized) override;
  void HostParameterInfoChanged() override;
  void BeginHostEdit(int paramIdx) override;
  void PerformHostEdit(int paramIdx, double normalized) override;
  void EndHostEdit(int paramIdx) override;
  void TrackColour(int& red, int& green, int& blue) const override;
  void TrackName(std::string& name) const override;
  int TrackIndex() const override;
  void TrackNamespace(std::string& name) const override;
  int TrackNamespaceIndex() const override;
  /**
   * Resizes the host's view (when the size changed and the view has a frame); stores the size. A size that is
   * not positive is refused (false) and never reaches the host.
   */
  bool RequestEditorResize(int width, int height) override;
  /** The host's context menu (IComponentHandler3) for the parameter, with the editor's items. */
  bool OpenHostParameterMenu(int paramIdx, int x, int y, const std::vector<IHostMenuItem>& items,
                             HostMenuItemFunc onItem) override;
  /** Also keeps plain values for getLastEditorValue; may run on the audio thread. */
  void SendParameterValueToEditor(int paramIdx, double value, bool normalized = false) override;

  /** Asks the host (when it gave a component handler) to restart with these flags. */
  void RestartHost(Steinberg::int32 flags);
  /**
   * From the idle work (VST3IdleDriver): asks the host for what the audio
   * thread noted (a latency change). On the host's user-interface thread,
   * except on Linux for a host that offers no run loop while no view is
   * attached: then on the module's idle thread.
   */
  void ServiceHostRequests();
  /** The attached view's run loop (Linux; null when it goes), for the editor and the idle work. */
  void UseViewRunLoop(IHostRunLoop* runLoop);
  void OnEditorFrameTick(double framePeriodMs) override;
  /** Where the idle work runs now. */
  VST3IdleDriver::Where IdleWorkRuns() const { return mIdle->Runs(); }

  /** The editor's view, while it lives. */
  IPluginVST3View* CurrentView() const { return mView; }
  /** The view is going away; forgets it if it is the current one. */
  void ForgetView(IPluginVST3View* view);

private:
  void ProcessParameterChanges(Steinberg::Vst::IParameterChanges* changes);
  void ProcessMidiControllerChange(Steinberg::Vst::ParamID id, double value, int offset);
  void ProcessInputEvents(Steinberg::Vst::IEventList* events);
  void ProcessSysexFromEditor(Steinberg::Vst::IEventList* events);
  void ForwardMidiMessage(const IMidiMsg& message);
  void CopyParametersToObjects();

  // System-exclusive messages from the editor sent in the current block.
  std::array<SysExData, 4> mSysExOut{};
  // One slot per parameter, sized at construction: the audio thread only stores.
  std::vector<std::atomic<double>> mLastEditorValues;
  // Not a reference: the view holds one on the plug-in and tells it when it goes.
  IPluginVST3View* mView = nullptr;
  std::unique_ptr<VST3IdleDriver> mIdle;
};

} // namespace plug
