// CefMenuModel: the items of one context menu, and the default items the engine offers for a kind of target.
//
// A model is made, filled and read on the UI thread while the menu is being built; it has no lock.
#ifndef CEF_ENGINE_MENU_MODEL_IMPL_H_
#define CEF_ENGINE_MENU_MODEL_IMPL_H_

#include <string>
#include <vector>

#include "include/cef_menu_model.h"

namespace cefengine {

struct MenuItem {
  cef_menu_item_type_t type = MENUITEMTYPE_COMMAND;
  int command_id = -1;  // -1 for a separator
  std::wstring label;
};

class MenuModelImpl : public CefMenuModel {
 public:
  MenuModelImpl() = default;

  bool Clear() override;
  int GetCount() override;
  bool AddSeparator() override;
  // False for a command id below 0 (-1 is a separator's id).
  bool AddItem(int command_id, const CefString& label) override;
  int GetCommandIdAt(int index) override;

  const std::vector<MenuItem>& items() const { return items_; }
  // True when an item (not a separator) has `command_id`.
  bool HasCommand(int command_id) const;
  // Commands only, separators left out: an empty model or one of separators shows no menu.
  size_t CommandCount() const;

 private:
  std::vector<MenuItem> items_;

  IMPLEMENT_REFCOUNTING(MenuModelImpl);
};

// Fills `model` with the engine's default items for a menu on a target of `type_flags`
// (cef_context_menu_type_flags_t bits):
//   editable field: Undo, Redo | Cut, Copy, Paste, Delete | Select All
//   selection:      Copy
//   otherwise:      Back, Forward, Reload | Print, View Source
// Back and Forward are always listed; running one without history does nothing.
void AddDefaultMenuItems(MenuModelImpl* model, int type_flags);

}  // namespace cefengine

#endif  // CEF_ENGINE_MENU_MODEL_IMPL_H_
