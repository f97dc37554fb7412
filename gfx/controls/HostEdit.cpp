#include "gfx/controls/HostEdit.h"

#include "gfx/controls/IControl.h"

#include "plug/IEditorDelegate.h"
#include "plug/IParam.h"

namespace gfx {

const plug::IParam* HostEdit::EditableParam(const plug::IEditorDelegate* delegate, int paramIdx)
{
  if (!delegate || paramIdx < 0)
    return nullptr;
  const plug::IParam* param = delegate->GetParameter(paramIdx);
  return param && !param->IsMeter() ? param : nullptr;
}

void HostEdit::Begin(plug::IEditorDelegate* delegate, int paramIdx)
{
  if (EditableParam(delegate, paramIdx))
    delegate->BeginHostEditFromEditor(paramIdx);
}

bool HostEdit::Set(plug::IEditorDelegate* delegate, int paramIdx, double normalized)
{
  const plug::IParam* param = EditableParam(delegate, paramIdx);
  if (!param || param->Denormalize(normalized) == param->GetPlain())
    return false;
  delegate->SetParameterFromEditor(paramIdx, normalized);
  return true;
}

void HostEdit::End(plug::IEditorDelegate* delegate, int paramIdx)
{
  if (EditableParam(delegate, paramIdx))
    delegate->EndHostEditFromEditor(paramIdx);
}

void HostEdit::BeginAll(plug::IEditorDelegate* delegate, const IControl& control)
{
  for (int i = 0; i < control.NValues(); ++i)
    Begin(delegate, control.ParamIdx(i));
}

void HostEdit::EndAll(plug::IEditorDelegate* delegate, const IControl& control)
{
  for (int i = 0; i < control.NValues(); ++i)
    End(delegate, control.ParamIdx(i));
}

} // namespace gfx
