#include "gfx/controls/HostEdit.h"

#include "gfx/controls/IControl.h"

#include "plug/IEditorDelegate.h"
#include "plug/IParam.h"

#include <algorithm>

namespace gfx {

namespace {
// The user-interface thread's deferred edit, while one is open.
thread_local HostEdit::IfChanged* gDeferred = nullptr;
} // namespace

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
  BeginIfDeferred(delegate, paramIdx);
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

void HostEdit::BeginIfDeferred(plug::IEditorDelegate* delegate, int paramIdx)
{
  if (!gDeferred || gDeferred->mDelegate != delegate)
    return;
  std::vector<int>& begun = gDeferred->mBegun;
  if (std::find(begun.begin(), begun.end(), paramIdx) != begun.end())
    return;
  begun.push_back(paramIdx);
  Begin(delegate, paramIdx);
}

HostEdit::IfChanged::IfChanged(plug::IEditorDelegate* delegate) : mDelegate(delegate)
{
  if (!gDeferred)
    gDeferred = this;
}

HostEdit::IfChanged::~IfChanged()
{
  if (gDeferred == this)
    gDeferred = nullptr;
  for (int paramIdx : mBegun)
    End(mDelegate, paramIdx);
}

} // namespace gfx
