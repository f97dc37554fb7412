#include "host_window.h"

#include "errors.h"

#include "pluginterfaces/base/funknownimpl.h"

#include <windows.h>

#include <string>

using namespace Steinberg;

namespace korvel::snapshot {
namespace {

// Grants every resize.
class SilentFrame : public U::ImplementsNonDestroyable<U::Directly<IPlugFrame>>
{
public:
    tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) override
    {
        if (!view || !newSize)
            return kInvalidArgument;
        view->onSize(newSize);
        return kResultTrue;
    }
};

const wchar_t kWindowClass[] = L"KorvelSnapshotHost";

} // namespace

struct HostWindow::State
{
    HWND window = nullptr;
    SilentFrame frame;
};

HostWindow::HostWindow(int width, int height) : state_(std::make_unique<State>())
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    // A popup that is never shown: the editor draws into its own framebuffer, which is what is read back.
    state_->window = CreateWindowExW(0, kWindowClass, L"korvel-snapshot", WS_POPUP | WS_CLIPCHILDREN, 0, 0, width,
                                     height, nullptr, nullptr, instance, nullptr);
    if (!state_->window)
        throw render::RenderError("cannot create a window for the editor (error " + std::to_string(GetLastError()) +
                                  "); under Wine, DISPLAY must name an X display");
}

HostWindow::~HostWindow()
{
    DestroyWindow(state_->window);
}

void* HostWindow::parent() const
{
    return state_->window;
}

IPlugFrame* HostWindow::frame() const
{
    return &state_->frame;
}

} // namespace korvel::snapshot
