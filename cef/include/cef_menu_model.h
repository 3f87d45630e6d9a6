#ifndef CEF_INCLUDE_CEF_MENU_MODEL_H_
#define CEF_INCLUDE_CEF_MENU_MODEL_H_

#include "include/cef_base.h"

// The items of a context menu; UI thread.
class CefMenuModel : public virtual CefBase {
 public:
  typedef cef_menu_item_type_t MenuItemType;

  virtual bool Clear() = 0;
  virtual int GetCount() = 0;
  virtual bool AddSeparator() = 0;
  virtual bool AddItem(int command_id, const CefString& label) = 0;
  // -1 for an index out of range.
  virtual int GetCommandIdAt(int index) = 0;
};

#endif  // CEF_INCLUDE_CEF_MENU_MODEL_H_
