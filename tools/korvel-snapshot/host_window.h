#pragma once

#include "pluginterfaces/gui/iplugview.h"

#include <memory>

namespace korvel::snapshot {

// A window of the tool's own that the editor's view is attached to, never
// shown on screen, and the host frame the view talks to: it accepts every
// resize, and on Linux offers the run loop a view there needs. The run loop
// never runs its timers or readers: the tool draws its one frame on request.
class HostWindow
{
public:
    // Throws RenderError when the window system cannot be reached.
    HostWindow(int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // What IPlugView::attached takes as its parent on this platform.
    void* parent() const;
    Steinberg::IPlugFrame* frame() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace korvel::snapshot
