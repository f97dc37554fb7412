#include "gfx/GfxTypes.h"

#include <cstring>

namespace gfx {

void ITextStyle::SetFont(const char* fontId)
{
  std::memset(font, 0, sizeof(font));
  if (fontId)
    std::strncpy(font, fontId, sizeof(font) - 1);
}

IMenuModel::Item& IMenuModel::AddItem(const char* text, int flags, int tag)
{
  Item item;
  item.text = text ? text : "";
  item.flags = flags;
  item.tag = tag;
  mItems.push_back(std::move(item));
  return mItems.back();
}

IMenuModel::Item& IMenuModel::AddSubmenu(const char* text, std::unique_ptr<IMenuModel> submenu)
{
  Item& item = AddItem(text);
  item.submenu = std::move(submenu);
  return item;
}

void IMenuModel::Clear()
{
  mTitle.clear();
  mItems.clear();
  mChosenItem = -1;
}

const IMenuModel::Item* IMenuModel::GetItem(int index) const
{
  return index >= 0 && index < NItems() ? &mItems[static_cast<size_t>(index)] : nullptr;
}

IMenuModel::Item* IMenuModel::GetItem(int index)
{
  return index >= 0 && index < NItems() ? &mItems[static_cast<size_t>(index)] : nullptr;
}

void IMenuModel::ExecCompletion()
{
  if (mCompletion)
  {
    CompletionFunc completion = mCompletion;
    completion(this);
  }
}

} // namespace gfx
