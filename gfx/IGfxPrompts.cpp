// Prompts of IGfx: value entry, popup menus, the host's parameter menu and
// the value bubble.

#include "gfx/IGfx.h"

#include "gfx/controls/HostEdit.h"

#include "plug/IGfxEditorDelegate.h"
#include "plug/IParam.h"

#include <string>
#include <vector>

namespace gfx {

// --- Prompts and menus -------------------------------------------------------------------

void IGfx::PromptForValue(IControl* control, const IArea& area, int valIdx)
{
  if (!control)
    return;
  const plug::IParam* param = control->Param(valIdx);
  if (!param)
    return;
  const bool withTexts = param->NDisplayTexts() > 0;
  if (param->Type() == plug::IParam::kTypeEnum || (param->Type() == plug::IParam::kTypeBool && withTexts))
  {
    std::string current;
    param->FormatValue(param->GetPlain(), false, current, true);
    mPromptMenu.Clear();
    for (int i = 0; i < param->NDisplayTexts(); ++i)
    {
      const char* text = "";
      for (int k = 0; k < param->NDisplayTexts(); ++k)
      {
        if (param->DisplayTextAt(k).value == static_cast<double>(i))
        {
          text = param->DisplayTextAt(k).text;
          break;
        }
      }
      mPromptMenu.AddItem(text, current == text ? IMenuModel::kChecked : IMenuModel::kNoFlags, -1);
    }
    mPromptMenu.SetTitle(param->GetName());
    OpenPopupMenu(control, mPromptMenu, area, valIdx);
    return;
  }
  std::string text;
  param->FormatValue(param->GetPlain(), false, text, false);
  if (control->PromptShowsLabel())
  {
    text += " ";
    text += param->GetUnitsText();
  }
  OpenTextEntry(control, control->TextStyle(), area, text.c_str(), valIdx);
}

void IGfx::OpenTextEntry(IControl* control, const ITextStyle& style, const IArea& area, const char* text, int valIdx)
{
  if (!control)
    return;
  mTextEntryOwner = control;
  mTextEntryValIdx = valIdx;
  const int paramIdx = valIdx >= 0 ? control->ParamIdx(valIdx) : -1;
  CreateNativeTextEntry(paramIdx, style, area, control->EntryMaxChars(), text ? text : "");
  control->MarkDirty(false, -1);
}

void IGfx::ApplyTextEntryResult(const char* text)
{
  IControl* owner = mTextEntryOwner;
  if (!owner)
    return;
  mTextEntryOwner = nullptr;
  const int valIdx = mTextEntryValIdx;
  const plug::IParam* param = valIdx >= 0 ? owner->Param(valIdx) : nullptr;
  if (param)
  {
    const double plain = param->ParseValue(text ? text : "");
    const int paramIdx = owner->ParamIdx(valIdx);
    HostEdit::Begin(mDelegate, paramIdx);
    owner->ApplyUserValue(param->Normalize(plain), valIdx);
    HostEdit::End(mDelegate, paramIdx);
  }
  else
    owner->HandleTextEntryResult(text ? text : "", valIdx);
}

void IGfx::DiscardTextEntry()
{
  if (mTextEntryOwner)
    mTextEntryOwner->MarkDirty(false, -1);
  mTextEntryOwner = nullptr;
}

void IGfx::OpenPopupMenu(IControl* control, IMenuModel& menu, const IArea& area, int valIdx)
{
  // Opened from a press, the control's host edits are open: the menu's result ends them.
  mMenuEditsOpen = false;
  for (auto it = mCapturedMap.begin(); it != mCapturedMap.end();)
  {
    if (it->second == control)
    {
      mMenuEditsOpen = true;
      it = mCapturedMap.erase(it);
    }
    else
      ++it;
  }
  ClearCaptures();
  ShowCursorIfHidden();
  mMenuOwner = control;
  mMenuValIdx = valIdx;
  mMenuIsContextMenu = false;
  bool isAsync = false;
  IMenuModel* result = ShowNativeMenu(menu, area, isAsync);
  if (!isAsync)
    ApplyMenuResult(result);
}

void IGfx::ApplyMenuResult(IMenuModel* menu)
{
  IControl* owner = mMenuOwner;
  if (!owner)
    return;
  mMenuOwner = nullptr;
  const bool editsOpen = mMenuEditsOpen;
  mMenuEditsOpen = false;
  IMenuModel* chosen = menu && menu->GetChosenItemIdx() >= 0 ? menu : nullptr;
  if (chosen && !editsOpen)
    HostEdit::BeginAll(mDelegate, *owner);
  if (!mMenuIsContextMenu)
    owner->HandleMenuResult(chosen, mMenuValIdx);
  else
    owner->HandleContextMenuItem(chosen ? chosen->GetChosenItemIdx() : -1);
  if (chosen || editsOpen)
    HostEdit::EndAll(mDelegate, *owner);
}

void IGfx::ShowHostParameterMenu(IControl* control, int paramIdx, float x, float y)
{
  if (!control)
    return;
  mPromptMenu.Clear();
  control->FillContextMenu(mPromptMenu);
  if (!mDelegate)
    return;
  std::vector<plug::IHostMenuItem> items;
  for (int i = 0; i < mPromptMenu.NItems(); ++i)
  {
    const IMenuModel::Item* item = mPromptMenu.GetItem(i);
    items.push_back({item->text, item->IsDisabled()});
  }
  const float s = TotalScale();
  // The host calls back while its menu is up; the control may be gone by then
  // only if the editor was rebuilt, which the check below catches.
  mDelegate->OpenHostParameterMenu(paramIdx, static_cast<int>(x * s), static_cast<int>(y * s), items,
                                   [this, control](int itemIndex) {
                                     if (ControlIndex(control) >= 0)
                                       control->HandleContextMenuItem(itemIndex);
                                   });
}

void IGfx::ShowValueBubble(IControl* caller, float x, float y, const char* text, int direction,
                           const IArea& minimumContentArea)
{
  if (mBubbles.empty())
    return;
  if (!mMultiTouchEnabled)
  {
    mBubbles[0]->ShowBubble(caller, x, y, text, direction, minimumContentArea, 0);
    return;
  }
  // A change that no finger holds (a wheel turn, a double click's reset) is
  // the mouse's: it shows on the bubble of pointer 0.
  const std::vector<int64_t> touches = TouchesHolding(caller);
  const int64_t touch = touches.empty() ? 0 : touches[0];
  for (const auto& bubble : mBubbles)
  {
    if (bubble->BubbleTouchID() == touch)
    {
      bubble->ShowBubble(caller, x, y, text, direction, minimumContentArea, touch);
      return;
    }
  }
  std::vector<IBubbleControl*> candidates;
  for (const auto& bubble : mBubbles)
    candidates.push_back(bubble.get());
  IBubbleControl* chosen = candidates[mBubbleCounter % candidates.size()];
  mBubbleCounter = static_cast<unsigned>((mBubbleCounter + 1) % mBubbles.size());
  chosen->ShowBubble(caller, x, y, text, direction, minimumContentArea, touch);
}

} // namespace gfx
