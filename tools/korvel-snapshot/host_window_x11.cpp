#include "host_window.h"

#include "errors.h"

#include "pluginterfaces/base/funknownimpl.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

using namespace Steinberg;

namespace korvel::snapshot {
namespace {

// Grants every resize; offers a run loop that keeps what is registered and
// never calls it.
class SilentFrame : public U::ImplementsNonDestroyable<U::Directly<IPlugFrame, Linux::IRunLoop>>
{
public:
    tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) override
    {
        if (!view || !newSize)
            return kInvalidArgument;
        view->onSize(newSize);
        return kResultTrue;
    }
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor) override
    {
        return handler ? kResultOk : kInvalidArgument;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return kResultOk; }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval) override
    {
        return handler ? kResultOk : kInvalidArgument;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler*) override { return kResultOk; }
};

} // namespace

struct HostWindow::State
{
    Display* display = nullptr;
    Window window = 0;
    SilentFrame frame;
};

HostWindow::HostWindow(int width, int height) : state_(std::make_unique<State>())
{
    const char* name = std::getenv("DISPLAY");
    state_->display = XOpenDisplay(nullptr);
    if (!state_->display)
        throw render::RenderError(std::string("cannot open the X display '") + (name ? name : "") +
                                  "': the editor draws with OpenGL on an X display (set DISPLAY, e.g. to an Xvfb)");
    // Never mapped: the editor draws into its own framebuffer, which is what is read back.
    state_->window = XCreateSimpleWindow(state_->display, DefaultRootWindow(state_->display), 0, 0,
                                         static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
    XSync(state_->display, False);
}

HostWindow::~HostWindow()
{
    XDestroyWindow(state_->display, state_->window);
    XCloseDisplay(state_->display);
}

void* HostWindow::parent() const
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(state_->window));
}

IPlugFrame* HostWindow::frame() const
{
    return &state_->frame;
}

} // namespace korvel::snapshot
