#pragma once

// The one binding between the editor and the host's edit gestures: every
// user change of a parameter goes begin -> set -> end through here, from the
// pointer dispatch, the text entry, the menus and the controls themselves.
//
// - A parameter the editor may not change (a meter, or none at that index)
//   never hears of an edit: the host shows it read-only.
// - Set sends a value only when it changes the parameter's plain value: a drag
//   held against an end stop, or moved within one step, sends nothing more.

#include <vector>

namespace plug {
class IEditorDelegate;
class IParam;
} // namespace plug

namespace gfx {

class IControl;

class HostEdit
{
public:
  /** The parameter when the editor may change it, else null. */
  static const plug::IParam* EditableParam(const plug::IEditorDelegate* delegate, int paramIdx);
  static void Begin(plug::IEditorDelegate* delegate, int paramIdx);
  /** Sends the value to the plug-in and the host when it changes the parameter; true when sent. */
  static bool Set(plug::IEditorDelegate* delegate, int paramIdx, double normalized);
  static void End(plug::IEditorDelegate* delegate, int paramIdx);
  /** Begin, or End, for each value slot of the control that is bound to a parameter. */
  static void BeginAll(plug::IEditorDelegate* delegate, const IControl& control);
  static void EndAll(plug::IEditorDelegate* delegate, const IControl& control);

  /**
   * The host's edit around one event whose effect is not known before it runs
   * (a wheel turn): Begin goes out just before the first value that changes a
   * parameter, and End at the end of the scope only for what began, so an
   * event that changes nothing sends nothing. One per user-interface thread
   * at a time.
   */
  class IfChanged
  {
  public:
    explicit IfChanged(plug::IEditorDelegate* delegate);
    ~IfChanged();
    IfChanged(const IfChanged&) = delete;
    IfChanged& operator=(const IfChanged&) = delete;

  private:
    friend class HostEdit;
    plug::IEditorDelegate* mDelegate;
    std::vector<int> mBegun;
  };

private:
  static void BeginIfDeferred(plug::IEditorDelegate* delegate, int paramIdx);
};

} // namespace gfx
