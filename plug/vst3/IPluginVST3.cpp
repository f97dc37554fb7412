#include "plug/vst3/IPluginVST3.h"

#include "plug/Trace.h"
#include "plug/vst3/IPluginVST3View.h"

#include "pluginterfaces/base/funknownimpl.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivsthostapplication.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

namespace plug {

DEF_CLASS_IID(IEditorValueReadout)

namespace Vst = Steinberg::Vst;
using Steinberg::int32;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::tresult;

namespace {

constexpr int kStateReadBlock = 128;

// The editor's own items in the host's context menu: choosing one calls back
// into the editor (which checks that the control is still there).
class ContextMenuTarget : public Steinberg::FObject, public Vst::IContextMenuTarget
{
public:
  explicit ContextMenuTarget(HostMenuItemFunc onItem) : mOnItem(std::move(onItem)) {}

  tresult PLUGIN_API executeMenuItem(int32 tag) override
  {
    if (mOnItem)
      mOnItem(static_cast<int>(tag));
    return kResultOk;
  }

  OBJ_METHODS(ContextMenuTarget, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Vst::IContextMenuTarget)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  HostMenuItemFunc mOnItem;
};

} // namespace

IPluginVST3::IPluginVST3(const InstanceInfo& /*info*/, const IPluginDefinition& definition)
  : IPluginAPIBase(definition)
  , IPluginVST3ProcessorBase(definition, *this)
  , mLastEditorValues(static_cast<size_t>(NParams()))
{
  mIdle = std::make_unique<VST3IdleDriver>([this] {
    ServiceHostRequests();
    ServiceQueues();
  });
}

IPluginVST3::~IPluginVST3()
{
  // The idle work refers to this object.
  mIdle.reset();
}

tresult PLUGIN_API IPluginVST3::initialize(Steinberg::FUnknown* context)
{
  PLUG_TRACE("plug::IPluginVST3::initialize");
  if (hostContext)
    return kResultFalse;
  const tresult result = SingleComponentEffect::initialize(context);
  if (result != kResultOk)
    return result;

  MakeBuses(*this);
  InitializeParameters(*this, GetPluginKind() != kInstrument, DoesMidiIn(), parameters, *this);

  if (Steinberg::FUnknownPtr<Vst::IHostApplication> app{context})
  {
    Vst::String128 name{};
    if (app->getName(name) == kResultOk)
    {
      name[127] = 0;
      SetHost(reinterpret_cast<const char16_t*>(name));
    }
  }
  // SetHost reports a host it identified; one that gave no name is reported here.
  if (GetHost() == kHostUninit)
    OnHostKnown();
  AnnounceAllParameters(kReset);
  mIdle->Start(context);
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::terminate()
{
  // The idle work talks to the host, whose objects go now.
  mIdle->Stop();
  return SingleComponentEffect::terminate();
}

tresult PLUGIN_API IPluginVST3::setComponentHandler(Vst::IComponentHandler* handler)
{
  // The idle work may use the handler on the module's idle thread meanwhile.
  tresult result = kResultFalse;
  mIdle->RunExclusive([&] { result = SingleComponentEffect::setComponentHandler(handler); });
  return result;
}

tresult PLUGIN_API IPluginVST3::setActive(Steinberg::TBool state)
{
  ActivationChanged(state != 0);
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::getBusInfo(Vst::MediaType type, Vst::BusDirection dir, int32 index, Vst::BusInfo& info)
{
  if (index < 0)
    return Steinberg::kInvalidArgument;
  return SingleComponentEffect::getBusInfo(type, dir, index, info);
}

tresult PLUGIN_API IPluginVST3::activateBus(Vst::MediaType type, Vst::BusDirection dir, int32 index,
                                            Steinberg::TBool state)
{
  if (index < 0)
    return Steinberg::kInvalidArgument;
  return SingleComponentEffect::activateBus(type, dir, index, state);
}

tresult PLUGIN_API IPluginVST3::getBusArrangement(Vst::BusDirection dir, int32 index,
                                                  Vst::SpeakerArrangement& arrangement)
{
  if (index < 0)
    return Steinberg::kInvalidArgument;
  return SingleComponentEffect::getBusArrangement(dir, index, arrangement);
}

tresult PLUGIN_API IPluginVST3::setBusArrangements(Vst::SpeakerArrangement* inputs, int32 numIns,
                                                   Vst::SpeakerArrangement* outputs, int32 numOuts)
{
  PLUG_TRACE("plug::IPluginVST3::setBusArrangements");
  // These hosts ask for arrangements the plug-in would refuse, and cope with the buses it offers.
  if (GetHost() == kHostArdour || GetHost() == kHostMixbus)
    return kResultTrue;
  DisconnectAllChannels();
  if (numIns < 0 || numOuts < 0 || numIns > MostBuses(kInput) || numOuts > MostBuses(kOutput))
    return kResultFalse;
  if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
    return kResultFalse;
  const int layout = LayoutForArrangements(inputs, numIns, outputs, numOuts);
  if (layout < 0)
    return kResultFalse;
  MakeAudioBuses(*this, layout, layout);
  return kResultTrue;
}

tresult PLUGIN_API IPluginVST3::canProcessSampleSize(int32 symbolicSampleSize)
{
  return symbolicSampleSize == Vst::kSample32 || symbolicSampleSize == Vst::kSample64 ? kResultTrue : kResultFalse;
}

Steinberg::uint32 PLUGIN_API IPluginVST3::getLatencySamples()
{
  return static_cast<Steinberg::uint32>(std::max(GetLatency(), 0));
}

Steinberg::uint32 PLUGIN_API IPluginVST3::getTailSamples()
{
  return static_cast<Steinberg::uint32>(std::max(GetTailSize(), 0));
}

tresult PLUGIN_API IPluginVST3::setupProcessing(Vst::ProcessSetup& setup)
{
  PLUG_TRACE("plug::IPluginVST3::setupProcessing");
  if (setup.symbolicSampleSize < Vst::kSample32 || setup.symbolicSampleSize > Vst::kSample64)
    return kResultFalse;
  // A block size beyond any host's would have every scratch buffer take
  // gigabytes; a rate that is no rate would turn every filter into NaN.
  if (setup.maxSamplesPerBlock < 0 || setup.maxSamplesPerBlock > kMaxBlockFrames ||
      !(setup.sampleRate > 0.0 && setup.sampleRate < 1e7))
    return kResultFalse;
  processSetup = setup;
  try
  {
    SetupProcessing(setup);
  }
  catch (const std::bad_alloc&)
  {
    return kResultFalse;
  }
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::setProcessing(Steinberg::TBool state)
{
  if (!state)
  {
    ClearLatencyDelay();
    ResetProcessing();
  }
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::process(Vst::ProcessData& data)
{
  UpdateProcessContext(data, processSetup);
  ProcessParameterChanges(data.inputParameterChanges);
  if (DoesMidiIn())
  {
    ProcessInputEvents(data.inputEvents);
    IMidiMsg message;
    while (mMidiMsgsFromEditor.Pop(message))
      HandleMidiMessage(message);
  }
  ProcessBuffers(data, audioInputs, audioOutputs);
  if (DoesMidiOut())
  {
    SendMidiOutput(data.outputEvents, data.numSamples);
    ProcessSysexFromEditor(data.outputEvents);
  }
  return kResultOk;
}

Steinberg::uint32 PLUGIN_API IPluginVST3::getProcessContextRequirements()
{
  return 0;
}

// --- Controller -------------------------------------------------------------

tresult PLUGIN_API IPluginVST3::setParamNormalized(Vst::ParamID id, Vst::ParamValue value)
{
  Vst::Parameter* object = getParameterObject(id);
  // Meters are read-only: their value stays what the plug-in keeps (and saves).
  if (!object || (id < static_cast<Vst::ParamID>(NParams()) && GetParameter(static_cast<int>(id))->IsMeter()))
    return kResultFalse;
  object->setNormalized(value);
  if (id < static_cast<Vst::ParamID>(NParams()))
  {
    const int idx = static_cast<int>(id);
    IParam* param = GetParameter(idx);
    param->SetPlain(param->Denormalize(value));
    OnParamChangeForEditor(idx, kHost);
    SendParameterValueToEditor(idx, value, true);
  }
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::setComponentState(Steinberg::IBStream* /*state*/)
{
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::setEditorState(Steinberg::IBStream* /*state*/)
{
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::getEditorState(Steinberg::IBStream* /*state*/)
{
  return kResultOk;
}

Steinberg::IPlugView* PLUGIN_API IPluginVST3::createView(Steinberg::FIDString name)
{
  PLUG_TRACE("plug::IPluginVST3::createView");
  if (!HasEditor() || !name || std::strcmp(name, Vst::ViewType::kEditor) != 0)
    return nullptr;
  // The plug-in has one editor, so one view shows it: a second view would
  // share the editor, and removing or releasing either would take it (and the
  // resize requests and host menus that go through the view) from the other.
  // Keeping the state per view would need an editor per view; a host gets a
  // new view once it has released the old one.
  if (mView)
    return nullptr;
  mView = new IPluginVST3View(*this);
  return mView;
}

void IPluginVST3::UseViewRunLoop(IHostRunLoop* runLoop)
{
  SetHostRunLoop(runLoop);
  mIdle->UseViewRunLoop(runLoop);
}

void IPluginVST3::OnEditorFrameTick(double framePeriodMs)
{
  mIdle->RunWithEditorFrame(framePeriodMs);
}

void IPluginVST3::ForgetView(IPluginVST3View* view)
{
  if (mView == view)
    mView = nullptr;
}

bool IPluginVST3::RequestEditorResize(int width, int height)
{
  if (!HasEditor())
    return true;
  if (width <= 0 || height <= 0)
    return false;
  if ((width != GetEditorWidth() || height != GetEditorHeight()) && mView && mView->Frame())
    mView->ResizeView(width, height);
  SetEditorDimensions(width, height);
  return true;
}

bool IPluginVST3::OpenHostParameterMenu(int paramIdx, int x, int y, const std::vector<IHostMenuItem>& items,
                                        HostMenuItemFunc onItem)
{
  Steinberg::FUnknownPtr<Vst::IComponentHandler3> handler{componentHandler};
  if (!handler || !mView || paramIdx < 0 || paramIdx >= NParams())
    return false;
  const Vst::ParamID id = static_cast<Vst::ParamID>(paramIdx);
  Steinberg::IPtr<Vst::IContextMenu> menu = Steinberg::owned(handler->createContextMenu(mView, &id));
  if (!menu)
    return false;
  auto target = Steinberg::owned(new ContextMenuTarget(std::move(onItem)));
  for (size_t i = 0; i < items.size(); ++i)
  {
    Vst::IContextMenuItem item{};
    WidenToString128(items[i].text.c_str(), item.name);
    item.tag = static_cast<int32>(i);
    item.flags = items[i].disabled ? Vst::IContextMenuItem::kIsDisabled : 0;
    menu->addItem(item, target);
  }
  menu->popup(static_cast<Steinberg::UCoord>(x), static_cast<Steinberg::UCoord>(y));
  return true;
}

tresult PLUGIN_API IPluginVST3::getProgramName(Vst::ProgramListID listId, int32 programIndex, Vst::String128 name)
{
  if (listId != static_cast<Vst::ProgramListID>(kPresetParamID) || NPresets() < 1 || !name)
    return kResultFalse;
  WidenToString128(PresetNameAt(programIndex), name);
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::getMidiControllerAssignment(int32 busIndex, Steinberg::int16 channel,
                                                            Vst::CtrlNumber midiControllerNumber, Vst::ParamID& id)
{
  // Negative channels or controllers would reach the ids below the MIDI range (bypass, presets).
  if (busIndex != 0 || channel != 0 || midiControllerNumber < 0 ||
      midiControllerNumber >= kMIDIControllersPerChannel)
    return kResultFalse;
  id = kMIDICCParamStartID + static_cast<Vst::ParamID>(channel * kMIDIControllersPerChannel + midiControllerNumber);
  return kResultTrue;
}

tresult PLUGIN_API IPluginVST3::setChannelContextInfos(Vst::IAttributeList* list)
{
  return SetChannelContextInfos(list);
}

tresult PLUGIN_API IPluginVST3::getState(Steinberg::IBStream* state)
{
  PLUG_TRACE("plug::IPluginVST3::getState");
  if (!state)
    return kResultFalse;
  StateChunk chunk;
  if (!SaveState(chunk))
    return kResultFalse;
  int32 written = 0;
  if (chunk.Size() > 0 &&
      (state->write(const_cast<uint8_t*>(chunk.GetData()), chunk.Size(), &written) != kResultOk ||
       written != chunk.Size()))
    return kResultFalse;
  int32 bypass = GetBypassed() ? 1 : 0;
  if (state->write(&bypass, sizeof(bypass), &written) != kResultOk || written != sizeof(bypass))
    return kResultFalse;
  return kResultOk;
}

tresult PLUGIN_API IPluginVST3::setState(Steinberg::IBStream* state)
{
  PLUG_TRACE("plug::IPluginVST3::setState");
  if (!state)
    return kResultFalse;
  Steinberg::int64 start = 0;
  if (state->tell(&start) != kResultOk || start < 0)
    start = 0;

  StateChunk chunk;
  std::array<uint8_t, kStateReadBlock> block;
  for (;;)
  {
    int32 got = 0;
    const tresult result = state->read(block.data(), kStateReadBlock, &got);
    got = std::min(got, kStateReadBlock);
    if (got <= 0)
      break;
    if (chunk.PutBytes(block.data(), got) < 0)
      return kResultFalse;
    if (result != kResultOk && GetHost() != kHostWaveLab)
      break;
  }

  const int pos = LoadState(chunk, 0);
  // A state that ended early has no position to find the bypass word at.
  if (pos < 0)
    return kResultFalse;
  Steinberg::int64 reached = 0;
  if (state->seek(start + pos, Steinberg::IBStream::kIBSeekSet, &reached) != kResultOk)
    return kResultFalse;
  // A stream may deliver the word in pieces, as it may the state before it.
  uint8_t bypassBytes[sizeof(int32)] = {};
  int32 have = 0;
  while (have < static_cast<int32>(sizeof(bypassBytes)))
  {
    int32 got = 0;
    const tresult result = state->read(bypassBytes + have, static_cast<int32>(sizeof(bypassBytes)) - have, &got);
    got = std::min(got, static_cast<int32>(sizeof(bypassBytes)) - have);
    // WaveLab's streams report errors on reads that deliver.
    if (got <= 0 || (result != kResultOk && GetHost() != kHostWaveLab))
      return kResultFalse;
    have += got;
  }
  int32 bypass = 0;
  std::memcpy(&bypass, bypassBytes, sizeof(bypass));

  CopyParametersToObjects();
  if (Vst::Parameter* object = getParameterObject(kBypassParamID))
    object->setNormalized(static_cast<double>(bypass));
  AfterStateRestored();
  return kResultOk;
}

void IPluginVST3::CopyParametersToObjects()
{
  for (int i = 0; i < NParams(); ++i)
    if (Vst::Parameter* object = getParameterObject(static_cast<Vst::ParamID>(i)))
      object->setNormalized(GetParameter(i)->GetNormalized());
}

tresult PLUGIN_API IPluginVST3::queryInterface(const Steinberg::TUID iid, void** obj)
{
  QUERY_INTERFACE(iid, obj, IEditorValueReadout::iid, IEditorValueReadout)
  QUERY_INTERFACE(iid, obj, Vst::IMidiMapping::iid, Vst::IMidiMapping)
  QUERY_INTERFACE(iid, obj, Vst::ChannelContext::IInfoListener::iid, Vst::ChannelContext::IInfoListener)
  return SingleComponentEffect::queryInterface(iid, obj);
}

double PLUGIN_API IPluginVST3::getLastEditorValue(int32 paramIdx)
{
  if (paramIdx < 0 || paramIdx >= NParams())
    return 0.0;
  return mLastEditorValues[static_cast<size_t>(paramIdx)].load(std::memory_order_relaxed);
}

// --- Framework slots ----------------------------------------------------------

// Normalized values sent here are echoes of parameter values, which hosts read
// through the parameters; only plain values are readings of the processing.
void IPluginVST3::SendParameterValueToEditor(int paramIdx, double value, bool normalized)
{
  if (!normalized && paramIdx >= 0 && paramIdx < NParams())
    mLastEditorValues[static_cast<size_t>(paramIdx)].store(value, std::memory_order_relaxed);
  IPluginAPIBase::SendParameterValueToEditor(paramIdx, value, normalized);
}

void IPluginVST3::PushAllParametersToHost()
{
  CopyParametersToObjects();
  startGroupEdit();
  for (int i = 0; i < NParams(); ++i)
    PerformHostEdit(i, GetParameter(i)->GetNormalized());
  finishGroupEdit();
}

void IPluginVST3::SetParameterFromEditor(int paramIdx, double normalized)
{
  if (paramIdx >= 0)
    if (Vst::Parameter* object = getParameterObject(static_cast<Vst::ParamID>(paramIdx)))
      object->setNormalized(normalized);
  IPluginAPIBase::SetParameterFromEditor(paramIdx, normalized);
}

void IPluginVST3::HostParameterInfoChanged()
{
  RestartHost(Vst::kParamTitlesChanged);
}

void IPluginVST3::ServiceHostRequests()
{
  if (TakeLatencyChange())
    RestartHost(Vst::kLatencyChanged);
}

void IPluginVST3::RestartHost(int32 flags)
{
  if (componentHandler)
    componentHandler->restartComponent(flags);
}

void IPluginVST3::BeginHostEdit(int paramIdx)
{
  beginEdit(static_cast<Vst::ParamID>(paramIdx));
}

void IPluginVST3::PerformHostEdit(int paramIdx, double normalized)
{
  performEdit(static_cast<Vst::ParamID>(paramIdx), normalized);
}

void IPluginVST3::EndHostEdit(int paramIdx)
{
  endEdit(static_cast<Vst::ParamID>(paramIdx));
}

void IPluginVST3::TrackColour(int& red, int& green, int& blue) const
{
  const uint32_t colour = GetChannelColour();
  red = static_cast<int>((colour >> 16) & 0xFF);
  green = static_cast<int>((colour >> 8) & 0xFF);
  blue = static_cast<int>(colour & 0xFF);
}

void IPluginVST3::TrackName(std::string& name) const
{
  name = GetChannelName();
}

int IPluginVST3::TrackIndex() const
{
  return GetChannelIndex();
}

void IPluginVST3::TrackNamespace(std::string& name) const
{
  name = GetChannelNamespace();
}

int IPluginVST3::TrackNamespaceIndex() const
{
  return GetChannelNamespaceOrder();
}

} // namespace plug
