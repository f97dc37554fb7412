// Resources of IGfx: bitmaps through the context's own cache (one decode ->
// upload -> cache path for files and bytes) and fonts through the
// process-wide font-data cache.

#include "gfx/IGfx.h"

#include "gfx/ResourceLookup.h"
#include "gfx/ScopedContext.h"

#include "plug/Trace.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace gfx {

namespace {

std::string LowerCaseExtension(const char* name)
{
  const std::string s = name ? name : "";
  const size_t separator = s.find_last_of("/\\");
  const size_t fileStart = separator == std::string::npos ? 0 : separator + 1;
  const size_t dot = s.find_last_of('.');
  if (dot == std::string::npos || dot < fileStart)
    return {};
  std::string extension = s.substr(dot + 1);
  for (char& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

} // namespace

// --- Resources ----------------------------------------------------------------------------

IBitmap IGfx::RequestBitmap(const char* name, int nFrames, bool framesAreHorizontal, int targetScale)
{
  PLUG_TRACE("IGfx::RequestBitmap");
  mLastResourceError.clear();
  if (!name || !*name)
  {
    mLastResourceError = "no bitmap name";
    return {};
  }
  const int target = targetScale > 0 ? targetScale : std::max(1, static_cast<int>(std::ceil(mDisplayScale)));
  const std::string extension = LowerCaseExtension(name);
  if (!SupportsImageExtension(extension.c_str()))
  {
    mLastResourceError = std::string("not a supported image type: ") + name;
    return {};
  }

  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  for (int scale : ScaleSearchOrder(target))
  {
    if (APIBitmap* cached = mBitmapCache.Find(name, scale))
      return IBitmap(cached, nFrames, framesAreHorizontal, name);
  }
  std::string location;
  int foundScale = 0;
  if (FindScaledImage(name, extension.c_str(), location, target, foundScale, plug::CurrentModule()) == plug::kNotFound)
  {
    mLastResourceError = std::string("image not found: ") + name;
    return {};
  }
  std::string error;
  const SharedImage image = DecodedImageCache::Shared().Get(ScaledImageName(name, foundScale), extension, error);
  if (!image)
  {
    mLastResourceError = std::string(name) + ": " + error;
    return {};
  }
  return UploadAndCache(image, name, foundScale, nFrames, framesAreHorizontal);
}

IBitmap IGfx::RequestBitmapFromData(const char* cacheName, const uint8_t* data, size_t size, int nFrames,
                                    bool framesAreHorizontal)
{
  mLastResourceError.clear();
  const std::string name = cacheName ? cacheName : "";
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  if (APIBitmap* cached = mBitmapCache.Find(name, 1.0))
    return IBitmap(cached, nFrames, framesAreHorizontal, name);
  std::string error;
  auto image = std::make_shared<const DecodedImage>(DecodeImage(data, size, error));
  if (!image->IsValid())
  {
    mLastResourceError = name + ": " + error;
    return {};
  }
  return UploadAndCache(image, name, 1, nFrames, framesAreHorizontal);
}

// The cache's lock is held by the caller.
IBitmap IGfx::UploadAndCache(const SharedImage& image, const std::string& name, int scale, int nFrames,
                             bool framesAreHorizontal)
{
  std::unique_ptr<APIBitmap> bitmap;
  {
    ScopedContext current(*this);
    bitmap = nFrames > 1 ? LoadBackendStrip(image, static_cast<float>(scale), nFrames, framesAreHorizontal)
                         : LoadBackendBitmap(*image, static_cast<float>(scale));
  }
  if (!bitmap)
  {
    mLastResourceError = "the drawing backend refused the image " + name;
    return {};
  }
  APIBitmap* cached = mBitmapCache.Add(std::move(bitmap), name, scale);
  return IBitmap(cached, nFrames, framesAreHorizontal, name);
}

bool IGfx::RequestFont(const char* fontId, const char* fileNameOrResourceID)
{
  PLUG_TRACE("IGfx::RequestFont");
  mLastResourceError.clear();
  const std::vector<uint8_t> bytes = ReadResourceBytes(fileNameOrResourceID, "ttf");
  if (bytes.empty())
  {
    mLastResourceError = std::string("font not found: ") + (fileNameOrResourceID ? fileNameOrResourceID : "");
    return false;
  }
  return RequestFont(fontId, bytes.data(), bytes.size());
}

bool IGfx::RequestFont(const char* fontId, const uint8_t* data, size_t size)
{
  mLastResourceError.clear();
  if (!fontId || !*fontId)
  {
    mLastResourceError = "no font id";
    return false;
  }
  std::lock_guard<std::mutex> lock(FontDataCache().Mutex());
  FontData* font = FontDataCache().Find(fontId, 1.0);
  if (!font)
  {
    auto loaded = std::make_unique<FontData>();
    loaded->descriptor = ReadFontDescriptor(data, size, 0);
    if (!loaded->descriptor.IsValid())
    {
      mLastResourceError = std::string("not a usable font: ") + fontId;
      return false;
    }
    loaded->bytes.assign(data, data + size);
    font = FontDataCache().Add(std::move(loaded), fontId, 1.0);
  }
  if (!LoadBackendFont(fontId, *font))
  {
    mLastResourceError = std::string("the drawing backend refused the font ") + fontId;
    return false;
  }
  if (!LoadNativeFont(fontId, *font))
  {
    mLastResourceError = std::string("the platform refused the font ") + fontId;
    return false;
  }
  return true;
}

std::vector<uint8_t> IGfx::ReadResourceBytes(const char* name, const char* type)
{
  if (!name)
    return {};
  return gfx::ReadResourceBytes(name, type, plug::CurrentModule());
}

APIBitmap* IGfx::FindCachedBitmap(const char* name, int targetScale, int& foundScale)
{
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  for (int scale : ScaleSearchOrder(targetScale))
  {
    if (APIBitmap* cached = mBitmapCache.Find(name ? name : "", scale))
    {
      foundScale = scale;
      return cached;
    }
  }
  return nullptr;
}

void IGfx::CacheBitmap(std::unique_ptr<APIBitmap> bitmap, const char* name)
{
  if (!bitmap)
    return;
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  const double scale = bitmap->GetScale();
  mBitmapCache.Add(std::move(bitmap), name ? name : "", scale);
}

void IGfx::UncacheBitmap(const APIBitmap* bitmap)
{
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  mBitmapCache.Remove(bitmap);
}

void IGfx::ClearBitmapCache()
{
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  mBitmapCache.Clear();
}

int IGfx::CachedBitmapCount()
{
  std::lock_guard<std::mutex> lock(mBitmapCache.Mutex());
  return mBitmapCache.Size();
}

} // namespace gfx
