#include "plug/vst3/IPluginVST3Factory.h"

#include "plug/vst3/IPluginVST3.h"

#include "plug/ModuleResources.h"
#include "plug/vst3/VST3IdleDriver.h"

#include "public.sdk/source/main/pluginfactory.h"

#include <cstring>
#include <exception>
#include <mutex>

namespace plug {

namespace {

std::mutex gModuleMutex;
int gModuleCounter = 0;
void* gAttachedModule = nullptr;
void* gModuleHandle = nullptr;

// Guards the shared factory's creation, its reference count and its
// destruction together: a get that finds the factory must never meet the last
// release half-way through destroying it.
std::mutex gFactoryMutex;

class SharedPluginFactory final : public Steinberg::CPluginFactory
{
public:
  using CPluginFactory::CPluginFactory;

  Steinberg::uint32 PLUGIN_API addRef() override
  {
    std::lock_guard<std::mutex> lock(gFactoryMutex);
    return AddRefLocked();
  }

  Steinberg::uint32 PLUGIN_API release() override
  {
    std::lock_guard<std::mutex> lock(gFactoryMutex);
    if (--__funknownRefCount > 0)
      return static_cast<Steinberg::uint32>(__funknownRefCount);
    if (Steinberg::gPluginFactory == this)
      Steinberg::gPluginFactory = nullptr;
    delete this;
    return 0;
  }

  /** A run loop in the host's context (Linux) serves the idle work of the instances created later. */
  Steinberg::tresult PLUGIN_API setHostContext(Steinberg::FUnknown* context) override
  {
    VST3IdleDriver::SetModuleHostContext(context);
    return CPluginFactory::setHostContext(context);
  }

  /** With gFactoryMutex held. */
  Steinberg::uint32 AddRefLocked() { return static_cast<Steinberg::uint32>(++__funknownRefCount); }
};

// Serialises the construction of plug-in objects across the process.
std::mutex gCreationMutex;

// Copies text into a fixed field: cut to leave a terminator, the rest zero-filled.
template <size_t N>
void CopyField(Steinberg::char8 (&field)[N], const char* text)
{
  std::memset(field, 0, N);
  if (text)
    std::strncpy(field, text, N - 1);
}

} // namespace

void MakeVST3ClassID(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, Steinberg::TUID out)
{
  // The SDK's own layout for this target: hosts, presets and projects print the
  // ID with FUID, which reads the bytes back in the same layout.
  Steinberg::FUID(w1, w2, w3, w4).toTUID(out);
}

const Steinberg::PClassInfo2& GetVST3ClassInfo()
{
  static const Steinberg::PClassInfo2 info = [] {
    const VST3ModuleDefinition& definition = GetVST3ModuleDefinition();
    Steinberg::PClassInfo2 classInfo{};
    MakeVST3ClassID(definition.classID[0], definition.classID[1], definition.classID[2], definition.classID[3],
                    classInfo.cid);
    classInfo.cardinality = definition.cardinality;
    CopyField(classInfo.category, definition.category);
    CopyField(classInfo.name, definition.name);
    classInfo.classFlags = static_cast<Steinberg::uint32>(definition.classFlags);
    CopyField(classInfo.subCategories, definition.subCategories);
    CopyField(classInfo.vendor, definition.classVendor);
    CopyField(classInfo.version, definition.version);
    CopyField(classInfo.sdkVersion, definition.sdkVersion);
    return classInfo;
  }();
  return info;
}

void SetVST3AttachedModule(void* module)
{
  std::lock_guard<std::mutex> lock(gModuleMutex);
  gAttachedModule = module;
}

bool VST3ModuleEnter(void* handle)
{
  std::lock_guard<std::mutex> lock(gModuleMutex);
  if (++gModuleCounter == 1)
  {
    gModuleHandle = handle ? handle : gAttachedModule;
#ifdef _WIN32
    SetModuleHandle(gModuleHandle);
#endif
  }
  return true;
}

bool VST3ModuleLeave()
{
  std::lock_guard<std::mutex> lock(gModuleMutex);
  // More exits than entries: refuse, and keep the count at zero so that the next entry records the module again.
  if (gModuleCounter < 1)
    return false;
  if (--gModuleCounter == 0)
  {
    gModuleHandle = nullptr;
    VST3IdleDriver::SettleBeforeUnload();
  }
  return true;
}

void* GetVST3ModuleHandle()
{
  std::lock_guard<std::mutex> lock(gModuleMutex);
  return gModuleHandle;
}

Steinberg::IPluginFactory* GetVST3PluginFactory()
{
  std::lock_guard<std::mutex> lock(gFactoryMutex);
  if (Steinberg::gPluginFactory)
  {
    // Only SharedPluginFactory objects are ever stored there.
    static_cast<SharedPluginFactory*>(Steinberg::gPluginFactory)->AddRefLocked();
    return Steinberg::gPluginFactory;
  }
  const VST3ModuleDefinition& definition = GetVST3ModuleDefinition();
  Steinberg::PFactoryInfo factoryInfo{};
  CopyField(factoryInfo.vendor, definition.vendor);
  CopyField(factoryInfo.url, definition.url);
  CopyField(factoryInfo.email, definition.email);
  factoryInfo.flags = definition.factoryFlags;
  auto* factory = new (std::nothrow) SharedPluginFactory(factoryInfo);
  if (!factory)
    return nullptr;
  Steinberg::gPluginFactory = factory;
  factory->registerClass(&GetVST3ClassInfo(), CreateVST3PluginInstance);
  return factory;
}

Steinberg::FUnknown* CreateVST3PluginInstance(void* /*context*/)
{
  std::lock_guard<std::mutex> lock(gCreationMutex);
  const VST3ModuleDefinition& definition = GetVST3ModuleDefinition();
  if (!definition.create)
    return nullptr;
  try
  {
    InstanceInfo info;
    IPluginVST3* plugin = definition.create(info);
    return plugin ? static_cast<Steinberg::Vst::IAudioProcessor*>(plugin) : nullptr;
  }
  catch (const std::exception&)
  {
    return nullptr;
  }
}

} // namespace plug
