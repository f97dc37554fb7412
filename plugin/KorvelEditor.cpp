#include "KORVEL.h"

// The editor's graphics context and layout. Until the editor exists there is
// no context to build, so the host gets no view.

std::unique_ptr<plug::IEditor> KORVEL::MakeEditorGraphics()
{
  return nullptr;
}

void KORVEL::LayoutEditor(plug::IEditor* /*editor*/) {}
