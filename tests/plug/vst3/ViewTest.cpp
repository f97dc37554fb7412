// The editor view as a host drives it, against a stand-in editor that needs
// no window system: creation, platform types, attaching and removing, sizes,
// content scale, keys, resize requests through the host's frame, and the
// host's parameter context menu.

#include "PluginFixture.h"
#include "TestPlugFrame.h"

#include "plug/IEditor.h"
#include "plug/vst3/IPluginVST3View.h"

#include "pluginterfaces/base/keycodes.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ostream>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Vst = Steinberg::Vst;
using Steinberg::kInvalidArgument;
using Steinberg::kNoInterface;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::ViewRect;

namespace {

// What the stand-in editors did; outlives each of them.
struct EditorLog
{
  std::vector<std::string> calls;
  std::vector<plug::IKeyEvent> keys;
  int alive = 0;
  bool failOpen = false;
  bool keysHandled = true;
  bool failCapture = false;
  bool parks = false; // closing parks the editor for the next opening
};

// The editor the plug-in builds: it tells the delegate about its window size
// the way the graphics context does (window pixels = size x draw scale x display scale).
class StandInEditor : public plug::IEditor
{
public:
  StandInEditor(plug::IGfxEditorDelegate& delegate, EditorLog& log)
    : mDelegate(delegate), mLog(log), mWidth(delegate.GetEditorWidth()), mHeight(delegate.GetEditorHeight())
  {
    ++mLog.alive;
  }
  ~StandInEditor() override { --mLog.alive; }

  int GetWidth() const override { return mWidth; }
  int GetHeight() const override { return mHeight; }
  float GetDrawScale() const override { return mScale; }
  void SetEditorSize(int width, int height, float scale) override
  {
    mLog.calls.push_back("size " + std::to_string(width) + "x" + std::to_string(height) + "@" +
                         std::to_string(scale).substr(0, 3));
    mWidth = width;
    mHeight = height;
    mScale = scale;
    TellHost();
  }
  void SetDisplayScale(float scale) override
  {
    mLog.calls.push_back("display " + std::to_string(scale).substr(0, 3));
    mDisplayScale = scale;
    TellHost();
  }
  float GetWindowScale() const override { return mDisplayScale; }
  float GetDisplayScale() const override { return mDisplayScale; }
  bool ParkEditorWindow() override
  {
    if (mLog.parks)
      mLog.calls.push_back("park");
    return mLog.parks;
  }
  void* OpenEditorWindow(void* parent) override
  {
    mLog.calls.push_back("open");
    return mLog.failOpen ? nullptr : parent;
  }
  void CloseEditorWindow() override { mLog.calls.push_back("close"); }
  void QueryCursorPosition(float& x, float& y) override
  {
    x = 10.f;
    y = 20.f;
  }
  bool OnKeyDown(float, float, const plug::IKeyEvent& key) override
  {
    mLog.keys.push_back(key);
    return mLog.keysHandled;
  }
  bool OnKeyUp(float, float, const plug::IKeyEvent& key) override
  {
    mLog.keys.push_back(key);
    return mLog.keysHandled;
  }
  void SetControlValuesOfParam(int, double) override {}
  void SetControlValueByTag(int, double) override {}
  void SendMessageToControl(int, int, int, const void*) override {}
  void SendMidiToControls(const plug::IMidiMsg&) override {}
  /** Two pixels side by side whose bytes tell their order: 0, 1, 2 ... 7. */
  bool CaptureFrame(plug::IEditorFrame& frame) override
  {
    mLog.calls.push_back("capture");
    if (mLog.failCapture)
      return false;
    frame.width = 2;
    frame.height = 1;
    frame.rgba = {0, 1, 2, 3, 4, 5, 6, 7};
    return true;
  }

  /** A corner drag: the user's draw scale changes. */
  void DragToScale(float scale) { SetEditorSize(mWidth, mHeight, scale); }

private:
  void TellHost()
  {
    mDelegate.ResizeFromEditor(static_cast<int>(mWidth * mScale * mDisplayScale),
                               static_cast<int>(mHeight * mScale * mDisplayScale), true);
  }

  plug::IGfxEditorDelegate& mDelegate;
  EditorLog& mLog;
  int mWidth;
  int mHeight;
  float mScale = 1.f;
  float mDisplayScale = 1.f;
};

class TestContextMenu : public Steinberg::FObject, public Vst::IContextMenu
{
public:
  Steinberg::int32 PLUGIN_API getItemCount() override { return static_cast<Steinberg::int32>(items.size()); }
  Steinberg::tresult PLUGIN_API getItem(Steinberg::int32 index, Item& item, Vst::IContextMenuTarget** target) override
  {
    if (index < 0 || index >= getItemCount())
      return kResultFalse;
    item = items[static_cast<size_t>(index)];
    if (target)
      *target = targets[static_cast<size_t>(index)];
    return kResultOk;
  }
  Steinberg::tresult PLUGIN_API addItem(const Item& item, Vst::IContextMenuTarget* target) override
  {
    items.push_back(item);
    targets.emplace_back(target);
    return kResultOk;
  }
  Steinberg::tresult PLUGIN_API removeItem(const Item&, Vst::IContextMenuTarget*) override { return kResultFalse; }
  Steinberg::tresult PLUGIN_API popup(Steinberg::UCoord x, Steinberg::UCoord y) override
  {
    popups.emplace_back(x, y);
    if (choice >= 0 && choice < getItemCount())
      targets[static_cast<size_t>(choice)]->executeMenuItem(items[static_cast<size_t>(choice)].tag);
    return kResultOk;
  }

  OBJ_METHODS(TestContextMenu, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Vst::IContextMenu)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  std::vector<Item> items;
  std::vector<Steinberg::IPtr<Vst::IContextMenuTarget>> targets;
  std::vector<std::pair<int, int>> popups;
  int choice = -1;
};

class MenuComponentHandler : public TestComponentHandler, public Vst::IComponentHandler3
{
public:
  Vst::IContextMenu* PLUGIN_API createContextMenu(Steinberg::IPlugView* view, const Vst::ParamID* paramID) override
  {
    menuViews.push_back(view);
    menuParams.push_back(paramID ? static_cast<int>(*paramID) : -1);
    menu->addRef();
    return menu;
  }

  OBJ_METHODS(MenuComponentHandler, TestComponentHandler)
  DEFINE_INTERFACES
  DEF_INTERFACE(Vst::IComponentHandler3)
  END_DEFINE_INTERFACES(TestComponentHandler)
  REFCOUNT_METHODS(TestComponentHandler)

  Steinberg::IPtr<TestContextMenu> menu = Steinberg::owned(new TestContextMenu());
  std::vector<Steinberg::IPlugView*> menuViews;
  std::vector<int> menuParams;
};

std::string Narrow(const Vst::String128 text)
{
  std::string out;
  for (int i = 0; text[i] && i < 128; ++i)
    out.push_back(static_cast<char>(text[i]));
  return out;
}

} // namespace

namespace Steinberg {
// For comparisons and readable failures in these tests.
bool operator==(const ViewRect& a, const ViewRect& b)
{
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
std::ostream& operator<<(std::ostream& os, const ViewRect& r)
{
  return os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
} // namespace Steinberg

namespace {

const char* OtherPlatformType()
{
  return std::strcmp(plug::EditorPlatformType(), Steinberg::kPlatformTypeHWND) == 0
           ? Steinberg::kPlatformTypeX11EmbedWindowID
           : Steinberg::kPlatformTypeHWND;
}

} // namespace

class View : public PluginFixture
{
protected:
  void SetUp() override
  {
    TestPluginOptions options;
    options.hasEditor = true;
    Create(u"Test Host", options);
    plugin->MakeGraphicsFunction = [this] { return std::make_unique<StandInEditor>(*plugin, log); };
    view = Steinberg::owned(plugin->createView(Vst::ViewType::kEditor));
    ASSERT_TRUE(view);
    frame = Steinberg::owned(new TestPlugFrame());
    view->setFrame(frame);
  }
  void TearDown() override
  {
    view = nullptr;
    PluginFixture::TearDown();
  }

  StandInEditor* Editor() { return static_cast<StandInEditor*>(plugin->GetEditor()); }
  Steinberg::tresult Attach() { return view->attached(&parentWindow, plug::EditorPlatformType()); }

  EditorLog log;
  int parentWindow = 0; // stands for the host's window
  Steinberg::IPtr<Steinberg::IPlugView> view;
  Steinberg::IPtr<TestPlugFrame> frame;
};

TEST_F(View, IsCreatedOnlyForTheEditorNameOfAPlugInWithAnEditor)
{
  for (const char* name : {"Editor", "", "editor ", "parameters"})
  {
    Steinberg::IPtr<Steinberg::IPlugView> other = Steinberg::owned(plugin->createView(name));
    EXPECT_FALSE(other) << name;
  }
  EXPECT_EQ(plugin->createView(nullptr), nullptr);

  Create(u"Test Host"); // a plug-in without an editor
  EXPECT_EQ(plugin->createView(Vst::ViewType::kEditor), nullptr);
}

TEST_F(View, AnswersForItsInterfacesOnly)
{
  Steinberg::IPlugViewContentScaleSupport* scale = nullptr;
  ASSERT_EQ(view->queryInterface(Steinberg::IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale)),
            kResultOk);
  EXPECT_EQ(scale->setContentScaleFactor(1.f), kResultOk);
  scale->release();
  Steinberg::IPlugView* same = nullptr;
  ASSERT_EQ(view->queryInterface(Steinberg::IPlugView::iid, reinterpret_cast<void**>(&same)), kResultOk);
  EXPECT_EQ(same, view.get());
  same->release();
  void* none = nullptr;
  EXPECT_EQ(view->queryInterface(Vst::IEditController::iid, &none), kNoInterface);
  EXPECT_EQ(none, nullptr);
}

TEST_F(View, HandsOverTheOpenEditorsFrameOnlyWhileAttached)
{
  Steinberg::IPtr<plug::IEditorFrameCapture> capture;
  {
    void* obj = nullptr;
    ASSERT_EQ(view->queryInterface(plug::IEditorFrameCapture_iid, &obj), kResultOk);
    capture = Steinberg::owned(static_cast<plug::IEditorFrameCapture*>(obj));
  }
  auto stream = Steinberg::owned(new TestStream());
  Steinberg::int32 width = -1, height = -1;
  EXPECT_EQ(capture->captureFrame(stream, &width, &height), kResultFalse) << "no editor before attached()";

  ASSERT_EQ(Attach(), kResultOk);
  EXPECT_EQ(capture->captureFrame(nullptr, &width, &height), kInvalidArgument);
  EXPECT_EQ(capture->captureFrame(stream, nullptr, &height), kInvalidArgument);
  log.failCapture = true;
  EXPECT_EQ(capture->captureFrame(stream, &width, &height), kResultFalse);
  EXPECT_TRUE(stream->data.empty());
  log.failCapture = false;
  ASSERT_EQ(capture->captureFrame(stream, &width, &height), kResultOk);
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 1);
  EXPECT_EQ(stream->data, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7}));

  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(capture->captureFrame(stream, &width, &height), kResultFalse) << "no editor after removed()";
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "capture"), 2);
}

TEST_F(View, SupportsOnlyThisPlatformsWindowType)
{
  EXPECT_EQ(view->isPlatformTypeSupported(plug::EditorPlatformType()), kResultTrue);
  for (const char* type : {OtherPlatformType(), Steinberg::kPlatformTypeNSView, Steinberg::kPlatformTypeHIView, "",
                           "hwnd"})
    EXPECT_EQ(view->isPlatformTypeSupported(type), kResultFalse) << type;
  EXPECT_EQ(view->isPlatformTypeSupported(nullptr), kResultFalse);
}

TEST_F(View, AttachingOpensTheEditorInTheParentAndRemovingClosesIt)
{
  ASSERT_EQ(Attach(), kResultOk);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(log.calls, std::vector<std::string>{"open"});
  EXPECT_EQ(log.alive, 1);

  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(plugin->GetEditor(), nullptr);
  EXPECT_EQ(log.alive, 0);
  EXPECT_EQ(log.calls.back(), "close");

  // A second removal has nothing left to close.
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "close"), 1);
}

TEST_F(View, RefusesToAttachWhereItCannotOpen)
{
  EXPECT_EQ(view->attached(&parentWindow, OtherPlatformType()), kResultFalse);
  EXPECT_EQ(view->attached(nullptr, plug::EditorPlatformType()), kResultFalse);
  EXPECT_TRUE(log.calls.empty());

  log.failOpen = true;
  EXPECT_EQ(Attach(), kResultFalse);
  EXPECT_EQ(plugin->GetEditor(), nullptr) << "a window that did not open leaves no editor behind";
  EXPECT_EQ(log.alive, 0);

  log.failOpen = false;
  EXPECT_EQ(Attach(), kResultOk);
  EXPECT_EQ(Attach(), kResultFalse) << "already attached";
  EXPECT_EQ(log.alive, 1);
}

TEST_F(View, ReopensAtTheSizeAndScaleItWasClosedWith)
{
  ASSERT_EQ(Attach(), kResultOk);
  Editor()->DragToScale(1.5f);
  ASSERT_EQ(frame->resizes.size(), 1u);
  EXPECT_EQ(frame->resizes[0].getWidth(), 600);
  EXPECT_EQ(frame->resizes[0].getHeight(), 450);
  view->removed();
  EXPECT_EQ(plugin->GetRememberedScale(), 1.5f);

  log.calls.clear();
  ASSERT_EQ(Attach(), kResultOk);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"size 400x300@1.5", "open"}));
  EXPECT_EQ(Editor()->GetDrawScale(), 1.5f);
  ViewRect size;
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.getWidth(), 600);
  EXPECT_EQ(size.getHeight(), 450);
  EXPECT_EQ(frame->resizes.size(), 1u) << "the host's window already has that size";
}

TEST_F(View, ResizeRequestsReachTheHostsFrameOnlyForANewSize)
{
  ViewRect size;
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size, ViewRect(0, 0, 400, 300));

  ASSERT_EQ(Attach(), kResultOk);
  EXPECT_TRUE(plugin->RequestEditorResize(400, 300));
  EXPECT_TRUE(frame->resizes.empty());

  EXPECT_TRUE(plugin->RequestEditorResize(500, 350));
  ASSERT_EQ(frame->resizes.size(), 1u);
  EXPECT_EQ(frame->resizes[0], ViewRect(0, 0, 500, 350));
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size, ViewRect(0, 0, 500, 350));

  // A host that refuses still leaves the editor's own size on record, and a view without a frame is asked nothing.
  frame->accept = false;
  EXPECT_TRUE(plugin->RequestEditorResize(520, 360));
  view->setFrame(nullptr);
  EXPECT_TRUE(plugin->RequestEditorResize(540, 380));
  EXPECT_EQ(frame->resizes.size(), 2u);
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size, ViewRect(0, 0, 540, 380));
}

TEST_F(View, ContentScaleResizesTheOpenEditorAndIsKeptForTheNextOpening)
{
  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scale{view};
  ASSERT_TRUE(scale);
  // Before attaching (many hosts do this): nothing is open yet.
  EXPECT_EQ(scale->setContentScaleFactor(2.f), kResultOk);
  EXPECT_TRUE(log.calls.empty());

  ASSERT_EQ(Attach(), kResultOk);
  // The editor opens at the host's factor: no frame is drawn at another.
  const std::vector<std::string> opening{"display 2.0", "open"};
  EXPECT_EQ(log.calls, opening);
  ASSERT_EQ(frame->resizes.size(), 1u);
  EXPECT_EQ(frame->resizes[0], ViewRect(0, 0, 800, 600));

  // Beyond what displays use: 100 crashed the GL renderer, 3e6 sent the host a negative width.
  for (float bad : {0.f, -1.f, std::nanf(""), INFINITY, 0.49f, 4.01f, 100.f, 3e6f})
    EXPECT_EQ(scale->setContentScaleFactor(bad), kInvalidArgument) << bad;
  EXPECT_EQ(log.calls, opening) << "a refused factor reached the editor";
  EXPECT_EQ(frame->resizes.size(), 1u);
  EXPECT_FALSE(plugin->RequestEditorResize(std::numeric_limits<int>::min(), 300));
  EXPECT_FALSE(plugin->RequestEditorResize(400, 0));
  EXPECT_EQ(frame->resizes.size(), 1u) << "a size no editor can have reached the host";
  EXPECT_EQ(scale->setContentScaleFactor(1.f), kResultOk);
  EXPECT_EQ(log.calls.back(), "display 1.0");
  EXPECT_EQ(frame->resizes.back(), ViewRect(0, 0, 400, 300));
}

TEST_F(View, AReopenedEditorTakesTheFactorGivenForItsNewOpening)
{
  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scale{view};
  ASSERT_TRUE(scale);
  log.parks = true;
  ASSERT_EQ(scale->setContentScaleFactor(2.f), kResultOk);
  ASSERT_EQ(Attach(), kResultOk);
  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(log.calls.back(), "park");
  EXPECT_EQ(log.alive, 1);

  // The host moved its window to a display of scale 1: the parked editor, still at 2, follows.
  ASSERT_EQ(scale->setContentScaleFactor(1.f), kResultOk);
  log.calls.clear();
  ASSERT_EQ(Attach(), kResultOk);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"size 400x300@1.0", "display 1.0", "open"}));
  EXPECT_EQ(frame->resizes.back(), ViewRect(0, 0, 400, 300));
}

TEST_F(View, SizeConstraintKeepsTheCornerAndClampsIntoTheLimits)
{
  struct Case
  {
    ViewRect in;
    ViewRect out;
  };
  const Case cases[] = {
    {ViewRect(10, 20, 110, 120), ViewRect(10, 20, 210, 170)},     // below both minimums
    {ViewRect(0, 0, 2000, 800), ViewRect(0, 0, 800, 600)},        // above both maximums
    {ViewRect(5, 5, 505, 405), ViewRect(5, 5, 505, 405)},         // inside: unchanged
    {ViewRect(50, 60, 40, 30), ViewRect(50, 60, 250, 210)},       // negative size
  };
  for (const Case& c : cases)
  {
    ViewRect r = c.in;
    EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
    EXPECT_EQ(r, c.out) << c.in.left << "," << c.in.top << " " << c.in.getWidth() << "x" << c.in.getHeight();
  }
  EXPECT_EQ(view->checkSizeConstraint(nullptr), kInvalidArgument);
  EXPECT_EQ(view->canResize(), kResultFalse) << "the host may not resize this editor";

  ViewRect r(0, 0, 300, 200);
  EXPECT_EQ(view->onSize(&r), kResultOk);
  EXPECT_EQ(view->onSize(nullptr), kInvalidArgument);
  EXPECT_EQ(view->getSize(nullptr), kInvalidArgument);
}

TEST(ViewKeys, HostKeysBecomeKeyRecords)
{
  using namespace Steinberg;
  struct Case
  {
    char16 key;
    int16 keyCode;
    int16 modifiers;
    int32_t vk;
    const char* text;
    bool shift, alt, control;
  };
  const Case cases[] = {
    {0, KEY_LEFT, 0, 37, "", false, false, false},
    {0, KEY_BACK, 0, 8, "", false, false, false},
    {0, KEY_ENTER, 0, 13, "", false, false, false},
    {0, KEY_NUMPAD7, 0, 103, "", false, false, false},
    {0, KEY_F12, 0, 123, "", false, false, false},
    {0, KEY_ALT, 0, 18, "", false, false, false},
    {0, KEY_SPACE, 0, 32, " ", false, false, false},
    {0, VKEY_FIRST_ASCII + 17, 0, 'A', "A", false, false, false},   // code 128 stands for '0'
    {0, VKEY_FIRST_ASCII, 0, '0', "0", false, false, false},
    {u'a', 0, kShiftKey, 'A', "a", true, false, false},             // the key of the character
    {u'7', 0, kCommandKey, '7', "7", false, false, true},
    {u'\u00e9', KEY_CONTEXTMENU, kAlternateKey, 0, "\xc3\xa9", false, true, false},  // beyond the table
    {0, 0, kShiftKey | kAlternateKey | kCommandKey, 0, "", true, true, true},
  };
  for (const Case& c : cases)
  {
    const plug::IKeyEvent e = plug::MakeKeyEvent(c.key, c.keyCode, c.modifiers);
    EXPECT_EQ(e.vk, c.vk) << "key " << static_cast<int>(c.key) << " code " << c.keyCode;
    EXPECT_STREQ(e.utf8, c.text) << "code " << c.keyCode;
    EXPECT_EQ(e.shift, c.shift) << "code " << c.keyCode;
    EXPECT_EQ(e.alt, c.alt) << "code " << c.keyCode;
    EXPECT_EQ(e.control, c.control) << "code " << c.keyCode;
  }
}

TEST_F(View, KeysReachTheOpenEditorWhichSaysWhetherItTookThem)
{
  EXPECT_EQ(view->onKeyDown(0, Steinberg::KEY_UP, 0), kResultFalse) << "no editor open";
  ASSERT_EQ(Attach(), kResultOk);
  EXPECT_EQ(view->onKeyDown(0, Steinberg::KEY_UP, Steinberg::kShiftKey), kResultTrue);
  log.keysHandled = false;
  EXPECT_EQ(view->onKeyUp(u'x', 0, 0), kResultFalse);
  ASSERT_EQ(log.keys.size(), 2u);
  EXPECT_EQ(log.keys[0].vk, 38);
  EXPECT_TRUE(log.keys[0].shift);
  EXPECT_STREQ(log.keys[1].utf8, "x");
}

TEST_F(View, HostContextMenuCarriesTheEditorsItemsBackToIt)
{
  auto menuHandler = Steinberg::owned(new MenuComponentHandler());
  plugin->setComponentHandler(menuHandler);
  menuHandler->menu->choice = 1;
  std::vector<int> chosen;
  const std::vector<plug::IHostMenuItem> items = {{"Reset to default", false}, {"Learn", true}};

  ASSERT_TRUE(plugin->OpenHostParameterMenu(kRate, 30, 40, items, [&chosen](int i) { chosen.push_back(i); }));
  ASSERT_EQ(menuHandler->menuViews.size(), 1u);
  EXPECT_EQ(menuHandler->menuViews[0], view.get());
  EXPECT_EQ(menuHandler->menuParams[0], kRate);
  const TestContextMenu& menu = *menuHandler->menu;
  ASSERT_EQ(menu.items.size(), 2u);
  EXPECT_EQ(Narrow(menu.items[0].name), "Reset to default");
  EXPECT_EQ(menu.items[0].flags, 0);
  EXPECT_EQ(Narrow(menu.items[1].name), "Learn");
  EXPECT_EQ(menu.items[1].flags & Vst::IContextMenuItem::kIsDisabled, Vst::IContextMenuItem::kIsDisabled);
  EXPECT_EQ(menu.popups, (std::vector<std::pair<int, int>>{{30, 40}}));
  EXPECT_EQ(chosen, std::vector<int>{1});

  // No menu for a parameter the plug-in does not have.
  EXPECT_FALSE(plugin->OpenHostParameterMenu(kNumTestParams, 0, 0, items, nullptr));
  EXPECT_FALSE(plugin->OpenHostParameterMenu(-1, 0, 0, items, nullptr));
  // A host without context menus, or no view to show it on.
  plugin->setComponentHandler(handler);
  EXPECT_FALSE(plugin->OpenHostParameterMenu(kRate, 0, 0, items, nullptr));
  plugin->setComponentHandler(menuHandler);
  view = nullptr;
  EXPECT_FALSE(plugin->OpenHostParameterMenu(kRate, 0, 0, items, nullptr));
  EXPECT_EQ(menuHandler->menuViews.size(), 1u);
}

TEST_F(View, KeepsItsPlugInAliveAndClosesAnEditorLeftOpen)
{
  ASSERT_EQ(Attach(), kResultOk);
  const int before = TestPlugin::liveInstances;
  plugin->terminate();
  plugin->release();
  TestPlugin* owner = plugin;
  plugin = nullptr;
  EXPECT_EQ(TestPlugin::liveInstances, before) << "the view holds the plug-in";
  EXPECT_EQ(log.alive, 1);
  (void)owner;
  view = nullptr; // a host that never called removed()
  EXPECT_EQ(log.alive, 0);
  EXPECT_EQ(TestPlugin::liveInstances, before - 1);
}

#if SMTG_OS_LINUX
TEST_F(View, HandsTheHostsRunLoopToTheEditorWhileAttachedOnLinux)
{
  ASSERT_EQ(Attach(), kResultOk);
  plug::IHostRunLoop* runLoop = plugin->HostRunLoop();
  ASSERT_NE(runLoop, nullptr);
  // What the editor registers reaches the host's loop, and the host's calls come back.
  int ticks = 0;
  const int id = runLoop->AddTimer(16, [&ticks] { ++ticks; });
  ASSERT_GT(id, 0);
  ASSERT_EQ(frame->runLoop->timers.size(), 1u);
  EXPECT_EQ(frame->runLoop->timers[0].interval, 16u);
  frame->runLoop->FireTimers();
  EXPECT_EQ(ticks, 1);

  // Removing the view closes the editor and unregisters whatever it left behind.
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(plugin->HostRunLoop(), nullptr);
  EXPECT_TRUE(frame->runLoop->timers.empty());
  EXPECT_TRUE(frame->runLoop->readers.empty());
}

// A host that offers no run loop but the frame's (Ardour): the idle work runs
// on the module's idle thread until a view attaches, then on the frame's loop
// only (beside the editor, on one thread), and after the view is removed on the
// idle thread again.
class ViewOfAHostWithoutRunLoop : public View
{
protected:
  void SetUp() override
  {
    hostOffersRunLoop = false;
    View::SetUp();
    recording = Steinberg::owned(new ThreadRecordingHandler());
    plugin->setComponentHandler(recording);
    Prepare(Vst::kSample32);
  }
  void ChangeLatency(int latency)
  {
    plugin->latencyToReport = latency;
    ASSERT_EQ(Process(), kResultOk);
  }
  Steinberg::IPtr<ThreadRecordingHandler> recording;
};

TEST_F(ViewOfAHostWithoutRunLoop, TheIdleWorkMovesToTheFramesRunLoopWhileAttached)
{
  using Where = plug::VST3IdleDriver::Where;
  ASSERT_EQ(plugin->IdleWorkRuns(), Where::kIdleThread);

  ASSERT_EQ(Attach(), kResultOk);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kHostRunLoop);
  ASSERT_EQ(frame->runLoop->timers.size(), 1u) << "the idle work's timer";
  EXPECT_EQ(frame->runLoop->timers[0].interval, static_cast<Steinberg::uint32>(plug::IPluginAPIBase::kIdleTimerIntervalMs));
  ChangeLatency(64);
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * plug::IPluginAPIBase::kIdleTimerIntervalMs));
  EXPECT_TRUE(recording->Restarts().empty()) << "the idle thread still runs the work beside the editor";
  frame->runLoop->FireTimers();
  ASSERT_EQ(recording->Restarts().size(), 1u);
  EXPECT_EQ(recording->Restarts()[0].thread, std::this_thread::get_id()) << "on the host's loop";

  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_TRUE(frame->runLoop->timers.empty());
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kIdleThread);
  ChangeLatency(0);
  ASSERT_TRUE(recording->WaitForRestarts(2)) << "nobody runs the idle work after the view went";
  EXPECT_NE(recording->Restarts()[1].thread, std::this_thread::get_id());
}

// An open editor's frame tick runs the idle work instead of a timer of its
// own (one wakeup of the host's loop instead of two), from the first tick of
// an editor whose frames come at least every 20 ms until the view goes.
TEST_F(ViewOfAHostWithoutRunLoop, AnOpenEditorsFramesRunTheIdleWorkUntilTheViewGoes)
{
  using Where = plug::VST3IdleDriver::Where;
  constexpr double kFramePeriodMs = 16.0;
  ASSERT_EQ(Attach(), kResultOk);

  plugin->OnEditorFrameTick(2.0 * plug::IPluginAPIBase::kIdleTimerIntervalMs);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kHostRunLoop) << "frames slower than the idle work's period";
  EXPECT_EQ(frame->runLoop->timers.size(), 1u);

  plugin->OnEditorFrameTick(kFramePeriodMs);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kEditorFrames);
  EXPECT_TRUE(frame->runLoop->timers.empty()) << "the idle work's own timer still wakes the loop";
  ChangeLatency(64);
  frame->runLoop->FireTimers();
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * plug::IPluginAPIBase::kIdleTimerIntervalMs));
  EXPECT_TRUE(recording->Restarts().empty()) << "something beside the frames runs the idle work";
  plugin->OnEditorFrameTick(kFramePeriodMs);
  ASSERT_EQ(recording->Restarts().size(), 1u) << "the frame did not run the idle work";
  EXPECT_EQ(recording->Restarts()[0].thread, std::this_thread::get_id());

  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kIdleThread);
  ChangeLatency(0);
  EXPECT_TRUE(recording->WaitForRestarts(2)) << "nobody runs the idle work after the view went";
}

TEST_F(View, TheHostsOwnRunLoopGetsTheIdleTimerBackWhenTheEditorsFramesStop)
{
  using Where = plug::VST3IdleDriver::Where;
  ASSERT_EQ(Attach(), kResultOk);
  ASSERT_EQ(vst3test::HostContextRunLoop().timers.size(), 1u);
  plugin->OnEditorFrameTick(16.0);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kEditorFrames);
  EXPECT_TRUE(vst3test::HostContextRunLoop().timers.empty());
  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kHostRunLoop);
  EXPECT_EQ(vst3test::HostContextRunLoop().timers.size(), 1u);
  plugin->OnEditorFrameTick(16.0);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kHostRunLoop) << "a tick without a view";
}

TEST_F(View, RefusesToAttachOnLinuxWhenTheFrameHasNoRunLoop)
{
  frame->offerRunLoop = false;
  EXPECT_EQ(Attach(), kResultFalse);
  EXPECT_EQ(plugin->GetEditor(), nullptr);
  EXPECT_EQ(plugin->HostRunLoop(), nullptr);
  // With the run loop the same view attaches.
  frame->offerRunLoop = true;
  EXPECT_EQ(Attach(), kResultOk);
}
#endif

// The plug-in has one editor: a second view would share it. A host that got
// one anyway and attached, removed and released it closed the first view's
// editor and cut off its resize requests and host menus.
TEST_F(View, GivesNoSecondViewWhileTheFirstLives)
{
  auto menuHandler = Steinberg::owned(new MenuComponentHandler());
  plugin->setComponentHandler(menuHandler);
  ASSERT_EQ(Attach(), kResultOk);
  {
    Steinberg::IPtr<Steinberg::IPlugView> second = Steinberg::owned(plugin->createView(Vst::ViewType::kEditor));
    EXPECT_FALSE(second);
    if (second)
    {
      auto secondFrame = Steinberg::owned(new TestPlugFrame());
      second->setFrame(secondFrame);
      second->attached(&parentWindow, plug::EditorPlatformType());
      second->removed();
    }
  }
  EXPECT_NE(plugin->GetEditor(), nullptr) << "the first view's editor was closed";
  EXPECT_EQ(log.alive, 1);
  EXPECT_TRUE(plugin->RequestEditorResize(500, 350));
  ASSERT_EQ(frame->resizes.size(), 1u) << "the first view's resize request went nowhere";
  EXPECT_TRUE(plugin->OpenHostParameterMenu(kRate, 0, 0, {}, nullptr)) << "no host menu for the first view";
  ASSERT_EQ(menuHandler->menuViews.size(), 1u);
  EXPECT_EQ(menuHandler->menuViews[0], view.get());

  // Released, it makes way for a new one.
  view->removed();
  view = nullptr;
  view = Steinberg::owned(plugin->createView(Vst::ViewType::kEditor));
  ASSERT_TRUE(view);
  view->setFrame(frame);
  EXPECT_EQ(Attach(), kResultOk);
}
