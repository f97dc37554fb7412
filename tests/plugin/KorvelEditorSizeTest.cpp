// The size of KORVEL's editor as a host sees it through the VST3 view, with
// the real graphics context on the recording backend (no GL, no window):
// every path that sizes the editor (a state, the host's resize, its content
// scale, the corner drag) keeps the window inside the panel's limits, half to
// double of 998 x 386 times the display scale, and the window, getSize and
// checkSizeConstraint agree. Also the content scales a view refuses.

#include "KorvelEditor.h"
#include "KorvelTestSupport.h"
#include "RecordingGfx.h"
#include "TestHost.h"
#include "TestPlugFrame.h"

#include "plug/vst3/IPluginVST3View.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <utility>
#include <vector>

namespace Vst = Steinberg::Vst;
using Steinberg::kInvalidArgument;
using Steinberg::kResultOk;
using Steinberg::ViewRect;

namespace {

constexpr int kMinWidth = korvel_editor::kWidth / 2, kMaxWidth = korvel_editor::kWidth * 2;
constexpr int kMinHeight = korvel_editor::kHeight / 2, kMaxHeight = korvel_editor::kHeight * 2;

/** A size a state stores in front of the parameters. */
struct StoredSize
{
  int32_t width, height;
  float scale;
};

std::ostream& operator<<(std::ostream& os, const StoredSize& s)
{
  return os << s.width << " x " << s.height << " @ " << s.scale;
}

gfx::IMouseState Pointer(float x, float y)
{
  gfx::IMouseState p;
  p.x = x;
  p.y = y;
  p.ms.L = true;
  return p;
}

// The recording context with the platform windows' measure: the window is
// the scaled editor times the display scale.
class WindowedGfx : public gfxtest::RecordingGfx
{
public:
  using RecordingGfx::RecordingGfx;

protected:
  float PlatformWindowScale() const override { return DisplayScale(); }
};

} // namespace

class KorvelEditorSize : public ::testing::Test
{
protected:
  void SetUp() override
  {
    plugin = new KORVEL(plug::InstanceInfo{});
    app = Steinberg::owned(new TestHostApp(u"Test Host"));
    ASSERT_EQ(plugin->initialize(app->unknownCast()), kResultOk);
    plugin->MakeGraphicsFunction = [this] {
      auto g = std::make_unique<WindowedGfx>(plugin, korvel_editor::kWidth, korvel_editor::kHeight);
      graphics = g.get();
      return std::unique_ptr<plug::IEditor>(std::move(g));
    };
    frame = Steinberg::owned(new TestPlugFrame());
  }
  void TearDown() override
  {
    Close();
    plugin->terminate();
    plugin->release();
  }

  void CreateView()
  {
    view = Steinberg::owned(plugin->createView(Vst::ViewType::kEditor));
    ASSERT_TRUE(view);
    view->setFrame(frame);
  }
  void Attach() { ASSERT_EQ(view->attached(&parentWindow, plug::EditorPlatformType()), kResultOk); }
  void Close()
  {
    if (view)
      view->removed();
    view = nullptr;
    graphics = nullptr;
  }

  /** The component state with the editor size in front replaced. */
  std::vector<uint8_t> StateWith(const StoredSize& size)
  {
    auto stream = Steinberg::owned(new TestStream());
    EXPECT_EQ(plugin->getState(stream), kResultOk);
    std::vector<uint8_t> bytes = stream->data;
    std::memcpy(bytes.data(), &size.width, 4);
    std::memcpy(bytes.data() + 4, &size.height, 4);
    std::memcpy(bytes.data() + 8, &size.scale, 4);
    return bytes;
  }
  Steinberg::tresult Load(const std::vector<uint8_t>& bytes)
  {
    auto stream = Steinberg::owned(new TestStream(bytes));
    return plugin->setState(stream);
  }

  /** The open editor's window in device pixels, as the graphics context computes it. */
  std::pair<int, int> Window() const
  {
    const float ds = graphics->DisplayScale(), s = graphics->GetDrawScale();
    return {static_cast<int>(ds * static_cast<float>(static_cast<int>(s * graphics->GetWidth()))),
            static_cast<int>(ds * static_cast<float>(static_cast<int>(s * graphics->GetHeight())))};
  }
  std::pair<int, int> ReportedSize() const
  {
    ViewRect r;
    EXPECT_EQ(view->getSize(&r), kResultOk);
    return {r.getWidth(), r.getHeight()};
  }

  /**
   * The open editor's window lies inside the limits times the display scale,
   * getSize reports it, checkSizeConstraint leaves it as it is, and every size
   * the host was asked for since the last check lay inside the limits too.
   */
  void ExpectWindowInsideAndAgreed(const char* what)
  {
    SCOPED_TRACE(what);
    const float ds = graphics->DisplayScale();
    const auto limit = [ds](int v) { return static_cast<int>(ds * static_cast<float>(v)); };
    const std::pair<int, int> window = Window();
    EXPECT_GE(window.first, limit(kMinWidth));
    EXPECT_LE(window.first, limit(kMaxWidth));
    EXPECT_GE(window.second, limit(kMinHeight));
    EXPECT_LE(window.second, limit(kMaxHeight));
    EXPECT_EQ(ReportedSize(), window) << "getSize";
    ViewRect r(0, 0, window.first, window.second);
    EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
    EXPECT_EQ(std::make_pair(int(r.getWidth()), int(r.getHeight())), window) << "checkSizeConstraint";
    for (const ViewRect& asked : frame->resizes)
    {
      EXPECT_GE(asked.getWidth(), limit(kMinWidth));
      EXPECT_LE(asked.getWidth(), limit(kMaxWidth));
      EXPECT_GE(asked.getHeight(), limit(kMinHeight));
      EXPECT_LE(asked.getHeight(), limit(kMaxHeight));
    }
    frame->resizes.clear();
  }

  /** A drag of the resize corner from its middle to (x, y), unscaled pixels. */
  void DragCornerTo(float x, float y)
  {
    const gfx::IArea corner = graphics->CornerResizer()->Area();
    graphics->DispatchMouseDown({Pointer(corner.MW(), corner.MH())});
    graphics->DispatchMouseDrag({Pointer(x, y)});
    graphics->DispatchMouseUp({Pointer(x, y)});
  }

  KORVEL* plugin = nullptr;
  Steinberg::IPtr<TestHostApp> app;
  Steinberg::IPtr<TestPlugFrame> frame;
  Steinberg::IPtr<Steinberg::IPlugView> view;
  WindowedGfx* graphics = nullptr;
  int parentWindow = 0;
};

TEST_F(KorvelEditorSize, EveryPathKeepsTheWindowInsideTheLimitsAfterADamagedState)
{
  const StoredSize damaged[] = {
    {kMaxWidth, kMaxHeight, 2.f},  // opened a 3992 x 1544 window
    {kMinWidth, kMinHeight, 0.5f}, // opened a 249 x 96 window
    {kMaxWidth, kMinHeight, 1.5f},
    {998, 386, std::numeric_limits<float>::quiet_NaN()},
    {0, 0, 0.f},
    {-998, -386, -1.f},
    {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(), 1e30f},
  }; // each opening loads the panel's images: the fitting itself has its table in the context's tests
  for (const StoredSize& size : damaged)
  {
    SCOPED_TRACE(::testing::Message() << "state size " << size);
    const std::vector<uint8_t> state = StateWith(size);
    frame->resizes.clear();

    // Loaded while no editor is open: the host's first look and the opening agree.
    ASSERT_EQ(Load(state), kResultOk);
    CreateView();
    const std::pair<int, int> announced = ReportedSize();
    Attach();
    ExpectWindowInsideAndAgreed("opened");
    EXPECT_EQ(announced, Window()) << "getSize before attached()";

    // The corner dragged far out, then far in.
    DragCornerTo(5000.f, 5000.f);
    ExpectWindowInsideAndAgreed("dragged out");
    DragCornerTo(1.f, 1.f);
    ExpectWindowInsideAndAgreed("dragged in");

    // The host resizes its window to something absurd: the editor keeps its window.
    const std::pair<int, int> before = Window();
    ViewRect huge(0, 0, 100000, 100000);
    EXPECT_EQ(view->onSize(&huge), kResultOk);
    EXPECT_EQ(Window(), before);
    ExpectWindowInsideAndAgreed("host resized");

    // Loaded while the editor is open.
    ASSERT_EQ(Load(state), kResultOk);
    ExpectWindowInsideAndAgreed("loaded while open");
    Close();
  }
}

TEST_F(KorvelEditorSize, StatesWrittenTodayOpenAtTheirSizeUnchanged)
{
  for (float scale : {0.5f, 1.37f, 2.f})
  {
    SCOPED_TRACE(scale);
    ASSERT_EQ(Load(StateWith({korvel_editor::kWidth, korvel_editor::kHeight, scale})), kResultOk);
    CreateView();
    Attach();
    EXPECT_EQ(graphics->GetWidth(), korvel_editor::kWidth);
    EXPECT_EQ(graphics->GetHeight(), korvel_editor::kHeight);
    EXPECT_EQ(graphics->GetDrawScale(), scale);
    ExpectWindowInsideAndAgreed("today's state");
    Close();
  }
}

TEST_F(KorvelEditorSize, ContentScaleMultipliesTheLimitsTheViewAgreesTo)
{
  ASSERT_EQ(Load(StateWith({korvel_editor::kWidth, korvel_editor::kHeight, 1.5f})), kResultOk);
  CreateView();
  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scaling{view};
  ASSERT_TRUE(scaling);
  ASSERT_EQ(scaling->setContentScaleFactor(2.f), kResultOk);
  EXPECT_EQ(ReportedSize(), std::make_pair(2994, 1158)) << "the window it will open with";
  Attach();
  EXPECT_EQ(Window(), std::make_pair(2994, 1158));
  ExpectWindowInsideAndAgreed("content scale 2");
  DragCornerTo(5000.f, 5000.f);
  EXPECT_EQ(Window(), std::make_pair(3992, 1544)) << "double size on a 200 % display";
  ExpectWindowInsideAndAgreed("dragged out at content scale 2");
  ASSERT_EQ(scaling->setContentScaleFactor(1.f), kResultOk);
  EXPECT_EQ(Window(), std::make_pair(1996, 772));
  ExpectWindowInsideAndAgreed("back at content scale 1");
}

TEST_F(KorvelEditorSize, ContentScalesNoDisplayUsesAreRefused)
{
  CreateView();
  Attach();
  frame->resizes.clear();
  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scaling{view};
  ASSERT_TRUE(scaling);
  // 100 crashed the GL renderer; 3e6 overflowed into a width of -2147483648 for the host.
  for (float factor : {100.f, 3e6f, 4.01f, 0.49f, 0.f, -1.f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()})
  {
    EXPECT_EQ(scaling->setContentScaleFactor(factor), kInvalidArgument) << factor;
    EXPECT_EQ(graphics->DisplayScale(), 1.f) << factor;
  }
  EXPECT_TRUE(frame->resizes.empty()) << "nothing asked of the host";

  for (float factor : {0.5f, 4.f})
  {
    ASSERT_EQ(scaling->setContentScaleFactor(factor), kResultOk) << factor;
    EXPECT_EQ(graphics->DisplayScale(), factor);
    ASSERT_FALSE(frame->resizes.empty());
    EXPECT_EQ(frame->resizes.back().getWidth(), static_cast<int>(factor * korvel_editor::kWidth));
    EXPECT_EQ(frame->resizes.back().getHeight(), static_cast<int>(factor * korvel_editor::kHeight));
    ExpectWindowInsideAndAgreed("the ends of the range");
  }

  // A size that no editor can have never reaches the host.
  EXPECT_FALSE(plugin->RequestEditorResize(std::numeric_limits<int>::min(), 386));
  EXPECT_FALSE(plugin->RequestEditorResize(998, 0));
  EXPECT_TRUE(frame->resizes.empty());

  // A host's rectangle whose size does not fit 32 bits is still measured right.
  ViewRect wide(-2000000000, 0, 2000000000, 386);
  EXPECT_EQ(view->checkSizeConstraint(&wide), kResultOk);
  EXPECT_EQ(wide.getWidth(), 4 * kMaxWidth);
  ViewRect farOut(std::numeric_limits<int32_t>::max() - 10, 0, std::numeric_limits<int32_t>::max(), 386);
  EXPECT_EQ(view->checkSizeConstraint(&farOut), kInvalidArgument) << "no room for the smallest width";
}
