#include <gtest/gtest.h>

#include "cookie_test_support.h"
#include "engine/menu_model_impl.h"

namespace {

using cefengine::MenuModelImpl;

std::vector<int> Commands(CefRefPtr<MenuModelImpl> model) {
  std::vector<int> ids;
  for (int i = 0; i < model->GetCount(); ++i)
    ids.push_back(model->GetCommandIdAt(i));
  return ids;
}

TEST(MenuModel, ItemsAndSeparatorsKeepTheirOrder) {
  CefRefPtr<MenuModelImpl> model = new MenuModelImpl();
  EXPECT_TRUE(model->AddItem(MENU_ID_USER_FIRST, L"One"));
  EXPECT_TRUE(model->AddSeparator());
  EXPECT_TRUE(model->AddItem(MENU_ID_USER_FIRST + 1, L"Two"));
  EXPECT_EQ(model->GetCount(), 3);
  EXPECT_EQ(Commands(model), (std::vector<int>{MENU_ID_USER_FIRST, -1, MENU_ID_USER_FIRST + 1}));
  EXPECT_EQ(model->items()[2].label, L"Two");
  EXPECT_EQ(model->CommandCount(), 2u);
  EXPECT_EQ(model->GetCommandIdAt(3), -1);
  EXPECT_EQ(model->GetCommandIdAt(-1), -1);
  {
    cookie_tests::MisuseCapture capture;
    EXPECT_FALSE(model->AddItem(-5, L"bad"));
    EXPECT_EQ(capture.reports.size(), 1u);
  }
  EXPECT_EQ(model->GetCount(), 3);
  EXPECT_TRUE(model->Clear());
  EXPECT_EQ(model->GetCount(), 0);
}

TEST(MenuModel, DefaultItemsDependOnTheTarget) {
  struct Case {
    int flags;
    std::vector<int> expected;
  } cases[] = {
      {CM_TYPEFLAG_PAGE,
       {MENU_ID_BACK, MENU_ID_FORWARD, MENU_ID_RELOAD, -1, MENU_ID_PRINT, MENU_ID_VIEW_SOURCE}},
      {CM_TYPEFLAG_PAGE | CM_TYPEFLAG_LINK,
       {MENU_ID_BACK, MENU_ID_FORWARD, MENU_ID_RELOAD, -1, MENU_ID_PRINT, MENU_ID_VIEW_SOURCE}},
      {CM_TYPEFLAG_PAGE | CM_TYPEFLAG_SELECTION, {MENU_ID_COPY}},
      {CM_TYPEFLAG_EDITABLE | CM_TYPEFLAG_SELECTION,
       {MENU_ID_UNDO, MENU_ID_REDO, -1, MENU_ID_CUT, MENU_ID_COPY, MENU_ID_PASTE, MENU_ID_DELETE, -1,
        MENU_ID_SELECT_ALL}},
  };
  for (const auto& c : cases) {
    CefRefPtr<MenuModelImpl> model = new MenuModelImpl();
    cefengine::AddDefaultMenuItems(model.get(), c.flags);
    EXPECT_EQ(Commands(model), c.expected) << "flags " << c.flags;
  }
}

TEST(MenuModel, ASeparatorOnlyModelHasNoCommands) {
  CefRefPtr<MenuModelImpl> model = new MenuModelImpl();
  model->AddSeparator();
  EXPECT_EQ(model->CommandCount(), 0u);
  EXPECT_FALSE(model->HasCommand(-1));
}

}  // namespace
