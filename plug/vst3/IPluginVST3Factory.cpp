#include "plug/vst3/IPluginVST3Factory.h"

#include "plug/vst3/IPluginVST3.h"

#include "plug/ModuleResources.h"

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

std::mutex gFactoryMutex;

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
  const uint8_t bytes[16] = {
    static_cast<uint8_t>(w1), static_cast<uint8_t>(w1 >> 8), static_cast<uint8_t>(w1 >> 16), static_cast<uint8_t>(w1 >> 24),
    static_cast<uint8_t>(w2 >> 16), static_cast<uint8_t>(w2 >> 24), static_cast<uint8_t>(w2), static_cast<uint8_t>(w2 >> 8),
    static_cast<uint8_t>(w3 >> 24), static_cast<uint8_t>(w3 >> 16), static_cast<uint8_t>(w3 >> 8), static_cast<uint8_t>(w3),
    static_cast<uint8_t>(w4 >> 24), static_cast<uint8_t>(w4 >> 16), static_cast<uint8_t>(w4 >> 8), static_cast<uint8_t>(w4),
  };
  std::memcpy(out, bytes, sizeof(bytes));
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
    gModuleHandle = nullptr;
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
    Steinberg::gPluginFactory->addRef();
    return Steinberg::gPluginFactory;
  }
  const VST3ModuleDefinition& definition = GetVST3ModuleDefinition();
  Steinberg::PFactoryInfo factoryInfo{};
  CopyField(factoryInfo.vendor, definition.vendor);
  CopyField(factoryInfo.url, definition.url);
  CopyField(factoryInfo.email, definition.email);
  factoryInfo.flags = definition.factoryFlags;
  auto* factory = new (std::nothrow) Steinberg::CPluginFactory(factoryInfo);
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
