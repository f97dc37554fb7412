// The decoded-image cache with KORVEL's own images (embedded in this test as
// in the module): what is kept while a use lives and freed with the last,
// decoding on workers ahead of the request, the budget, and failures.

#include "gfx/DecodedImageCache.h"
#include "gfx/ResourceLookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using gfx::DecodedImageCache;
using gfx::DecodedImageUse;
using gfx::SharedImage;

namespace {

const std::vector<std::string> kStored = {"BG@2x.png",   "KNOB@2x.png",  "NEEDLE@2x.png", "OFF@2x.png",
                                          "OVER@2x.png", "SCREW@2x.png", "SWITCH@2x.png"};

SharedImage Get(DecodedImageCache& cache, const std::string& name)
{
  std::string error;
  SharedImage image = cache.Get(name, "png", error);
  EXPECT_TRUE(image) << name << ": " << error;
  EXPECT_TRUE(error.empty()) << name;
  return image;
}

gfx::DecodedImage DecodeDirectly(const std::string& name)
{
  const std::vector<uint8_t> bytes = gfx::ReadResourceBytes(name.c_str(), "png");
  std::string error;
  return gfx::DecodeImage(bytes.data(), bytes.size(), error);
}

TEST(DecodedImages, AreKeptWhileAnyUseLivesAndFreedWithTheLast)
{
  DecodedImageCache cache;
  auto first = std::make_unique<DecodedImageUse>(cache);
  auto second = std::make_unique<DecodedImageUse>(cache);
  const SharedImage knob = Get(cache, "KNOB@2x.png");
  ASSERT_TRUE(knob);
  EXPECT_EQ(knob->width, 146);
  EXPECT_EQ(knob->height, 14746);
  EXPECT_EQ(Get(cache, "KNOB@2x.png"), knob) << "a second request decodes again";
  EXPECT_EQ(cache.Decodes(), 1);
  EXPECT_EQ(cache.KeptBytes(), size_t(146) * 14746 * 4);
  EXPECT_EQ(cache.KeptCount(), 1);

  first.reset();
  EXPECT_EQ(cache.KeptBytes(), size_t(146) * 14746 * 4) << "freed while a use still lives";
  second.reset();
  EXPECT_EQ(cache.KeptBytes(), 0u);
  EXPECT_EQ(cache.KeptCount(), 0);
  EXPECT_EQ(knob->rgba.size(), size_t(146) * 14746 * 4) << "a holder of the image keeps its own reference";
}

TEST(DecodedImages, WithoutAUseEveryRequestDecodesAndNothingIsKept)
{
  DecodedImageCache cache;
  Get(cache, "SWITCH@2x.png");
  Get(cache, "SWITCH@2x.png");
  EXPECT_EQ(cache.Decodes(), 2);
  EXPECT_EQ(cache.KeptBytes(), 0u);
  cache.Prefetch(kStored, "png");
  EXPECT_EQ(cache.KeptCount(), 0) << "prefetching for nobody";
}

TEST(DecodedImages, PrefetchedImagesAreDecodedOnceAndEqualADirectDecode)
{
  DecodedImageCache cache;
  DecodedImageUse use(cache);
  cache.Prefetch(kStored, "png");
  cache.Prefetch(kStored, "png"); // already on their way: nothing more
  size_t total = 0;
  for (const std::string& name : kStored)
  {
    const SharedImage image = Get(cache, name);
    ASSERT_TRUE(image);
    const gfx::DecodedImage direct = DecodeDirectly(name);
    EXPECT_EQ(image->width, direct.width) << name;
    EXPECT_EQ(image->height, direct.height) << name;
    EXPECT_TRUE(image->rgba == direct.rgba) << name << ": the pixels differ from a direct decode";
    total += image->rgba.size();
  }
  EXPECT_EQ(cache.Decodes(), static_cast<long>(kStored.size()));
  EXPECT_EQ(cache.KeptCount(), static_cast<int>(kStored.size()));
  EXPECT_EQ(cache.KeptBytes(), total);
  EXPECT_LE(total, DecodedImageCache::kBudgetBytes) << "KORVEL's images must fit the stated budget";

  cache.Prefetch(kStored, "png");
  for (const std::string& name : kStored)
    Get(cache, name);
  EXPECT_EQ(cache.Decodes(), static_cast<long>(kStored.size())) << "kept images were decoded again";
}

TEST(DecodedImages, TheLastUseGoingWhileWorkersDecodeLeavesNothing)
{
  DecodedImageCache cache;
  {
    DecodedImageUse use(cache);
    cache.Prefetch(kStored, "png");
  }
  EXPECT_EQ(cache.KeptBytes(), 0u);
  EXPECT_EQ(cache.KeptCount(), 0);
  // And the cache serves a new user from scratch.
  DecodedImageUse again(cache);
  EXPECT_TRUE(Get(cache, "OVER@2x.png"));
  EXPECT_EQ(cache.KeptCount(), 1);
}

TEST(DecodedImages, AnImageBeyondTheBudgetIsServedButNotKept)
{
  const size_t knobBytes = size_t(146) * 14746 * 4;
  DecodedImageCache cache(knobBytes + 100);
  DecodedImageUse use(cache);
  Get(cache, "KNOB@2x.png");
  const SharedImage needle = Get(cache, "NEEDLE@2x.png");
  ASSERT_TRUE(needle);
  EXPECT_EQ(needle->width, 265);
  EXPECT_EQ(cache.KeptBytes(), knobBytes);
  Get(cache, "NEEDLE@2x.png");
  EXPECT_EQ(cache.Decodes(), 3) << "the image that did not fit is decoded for each request";
  Get(cache, "KNOB@2x.png");
  EXPECT_EQ(cache.Decodes(), 3);
}

TEST(DecodedImages, MissingOrUndecodableResourcesGiveAReasonAndAreNotKept)
{
  DecodedImageCache cache;
  DecodedImageUse use(cache);
  cache.Prefetch({"NOPE@2x.png"}, "png");
  for (int attempt = 0; attempt < 2; ++attempt)
  {
    std::string error;
    EXPECT_FALSE(cache.Get("NOPE@2x.png", "png", error));
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  EXPECT_FALSE(cache.Get("ROBOTO-REGULAR.TTF", "ttf", error)) << "a font is no image";
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(cache.KeptCount(), 0);
  EXPECT_EQ(cache.KeptBytes(), 0u);
}

} // namespace
