#include "engine/menu_model_impl.h"

#include "engine/logging.h"

namespace cefengine {

bool MenuModelImpl::Clear() {
  items_.clear();
  return true;
}

int MenuModelImpl::GetCount() {
  return static_cast<int>(items_.size());
}

bool MenuModelImpl::AddSeparator() {
  MenuItem item;
  item.type = MENUITEMTYPE_SEPARATOR;
  items_.push_back(item);
  return true;
}

bool MenuModelImpl::AddItem(int command_id, const CefString& label) {
  if (command_id < 0) {
    CEFENGINE_MISUSE("CefMenuModel::AddItem with a negative command id ignored");
    return false;
  }
  MenuItem item;
  item.command_id = command_id;
  item.label = label.ToWString();
  items_.push_back(item);
  return true;
}

int MenuModelImpl::GetCommandIdAt(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size()))
    return -1;
  return items_[static_cast<size_t>(index)].command_id;
}

bool MenuModelImpl::HasCommand(int command_id) const {
  for (const MenuItem& item : items_)
    if (item.type != MENUITEMTYPE_SEPARATOR && item.command_id == command_id)
      return true;
  return false;
}

size_t MenuModelImpl::CommandCount() const {
  size_t count = 0;
  for (const MenuItem& item : items_)
    if (item.type != MENUITEMTYPE_SEPARATOR)
      ++count;
  return count;
}

void AddDefaultMenuItems(MenuModelImpl* model, int type_flags) {
  if (type_flags & CM_TYPEFLAG_EDITABLE) {
    model->AddItem(MENU_ID_UNDO, L"&Undo");
    model->AddItem(MENU_ID_REDO, L"&Redo");
    model->AddSeparator();
    model->AddItem(MENU_ID_CUT, L"Cu&t");
    model->AddItem(MENU_ID_COPY, L"&Copy");
    model->AddItem(MENU_ID_PASTE, L"&Paste");
    model->AddItem(MENU_ID_DELETE, L"&Delete");
    model->AddSeparator();
    model->AddItem(MENU_ID_SELECT_ALL, L"Select &All");
    return;
  }
  if (type_flags & CM_TYPEFLAG_SELECTION) {
    model->AddItem(MENU_ID_COPY, L"&Copy");
    return;
  }
  model->AddItem(MENU_ID_BACK, L"&Back");
  model->AddItem(MENU_ID_FORWARD, L"&Forward");
  model->AddItem(MENU_ID_RELOAD, L"Re&load");
  model->AddSeparator();
  model->AddItem(MENU_ID_PRINT, L"&Print...");
  model->AddItem(MENU_ID_VIEW_SOURCE, L"View s&ource");
}

}  // namespace cefengine
