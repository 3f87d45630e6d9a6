#include <string>

#include <gtest/gtest.h>

#include "cookie_test_support.h"
#include "engine/value_codec.h"
#include "include/cef_process_message.h"
#include "include/cef_values.h"

namespace {

// A message holding every value type, nested containers included.
CefRefPtr<CefProcessMessage> EveryTypeMessage() {
  CefRefPtr<CefProcessMessage> msg = CefProcessMessage::Create("Every\u00E9");
  CefRefPtr<CefListValue> args = msg->GetArgumentList();
  args->SetNull(0);
  args->SetBool(1, true);
  args->SetInt(2, -2147483647 - 1);
  args->SetDouble(3, -1.5e300);
  args->SetString(4, L"text \u4E2D\xD83D\xDE00");
  const unsigned char bytes[] = {0, 1, 0xFE, 0xFF};
  args->SetBinary(5, CefBinaryValue::Create(bytes, sizeof(bytes)));
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetInt("b", 2);
  dict->SetString("a", "");
  CefRefPtr<CefListValue> inner = CefListValue::Create();
  inner->SetBool(2, false);  // grows to three entries, two of them null
  dict->SetList("list", inner);
  args->SetDictionary(6, dict);
  args->SetList(7, CefListValue::Create());
  return msg;
}

TEST(ValueCodec, MessageRoundTripKeepsEveryTypeAndArrivesReadOnly) {
  CefRefPtr<CefProcessMessage> msg = EveryTypeMessage();
  std::string bytes;
  ASSERT_TRUE(cefengine::EncodeProcessMessage(msg, &bytes));
  CefRefPtr<CefProcessMessage> back = cefengine::DecodeProcessMessage(bytes.data(), bytes.size());
  ASSERT_TRUE(back.get());
  EXPECT_EQ(back->GetName().ToWString(), L"Every\u00E9");
  EXPECT_TRUE(back->IsReadOnly());
  CefRefPtr<CefListValue> args = back->GetArgumentList();
  EXPECT_TRUE(args->IsEqual(msg->GetArgumentList()));
  ASSERT_EQ(args->GetSize(), 8u);
  const CefValueType types[] = {VTYPE_NULL,   VTYPE_BOOL,   VTYPE_INT,        VTYPE_DOUBLE,
                                VTYPE_STRING, VTYPE_BINARY, VTYPE_DICTIONARY, VTYPE_LIST};
  for (size_t i = 0; i < 8; ++i)
    EXPECT_EQ(args->GetType(i), types[i]) << i;
  EXPECT_EQ(args->GetInt(2), -2147483647 - 1);
  EXPECT_EQ(args->GetDouble(3), -1.5e300);
  EXPECT_EQ(args->GetString(4).ToWString(), L"text \u4E2D\xD83D\xDE00");
  unsigned char out[8] = {};
  EXPECT_EQ(args->GetBinary(5)->GetData(out, sizeof(out), 1), 3u);
  EXPECT_EQ(out[2], 0xFF);
  EXPECT_EQ(args->GetDictionary(6)->GetList("list")->GetSize(), 3u);

  // Read-only all the way down.
  EXPECT_FALSE(args->SetInt(0, 1));
  EXPECT_FALSE(args->GetDictionary(6)->SetInt("c", 1));
  EXPECT_EQ(args->GetType(0), VTYPE_NULL);
}

TEST(ValueCodec, EveryTruncationAndBadTagIsRefused) {
  std::string bytes;
  ASSERT_TRUE(cefengine::EncodeProcessMessage(EveryTypeMessage(), &bytes));
  for (size_t n = 0; n < bytes.size(); ++n)
    EXPECT_FALSE(cefengine::DecodeProcessMessage(bytes.data(), n).get()) << n;
  std::string trailing = bytes + "x";
  EXPECT_FALSE(cefengine::DecodeProcessMessage(trailing.data(), trailing.size()).get());

  // A list that claims more entries than there are bytes, and an unknown tag.
  const unsigned char huge_list[] = {VTYPE_LIST, 0xFF, 0xFF, 0xFF, 0x7F};
  const unsigned char bad_tag[] = {42};
  const unsigned char bad_bool[] = {VTYPE_BOOL, 2};
  for (const auto& input : {std::string(reinterpret_cast<const char*>(huge_list), sizeof(huge_list)),
                            std::string(reinterpret_cast<const char*>(bad_tag), sizeof(bad_tag)),
                            std::string(reinterpret_cast<const char*>(bad_bool), sizeof(bad_bool))}) {
    size_t offset = 0;
    cefengine::ValueData v;
    EXPECT_FALSE(cefengine::DecodeValue(reinterpret_cast<const uint8_t*>(input.data()), input.size(), &offset, &v));
    EXPECT_EQ(offset, 0u);
  }
}

TEST(ValueCodec, NestingBeyondTheLimitIsRefusedBothWays) {
  std::string deep;
  for (int i = 0; i <= cefengine::kMaxValueDepth + 1; ++i)
    deep += std::string(1, static_cast<char>(VTYPE_LIST)) + std::string("\x01\x00\x00\x00", 4);
  deep += static_cast<char>(VTYPE_NULL);
  size_t offset = 0;
  cefengine::ValueData v;
  EXPECT_FALSE(cefengine::DecodeValue(reinterpret_cast<const uint8_t*>(deep.data()), deep.size(), &offset, &v));
}

TEST(ListValue, SetGrowsGetOfMissingOrOtherTypeGivesDefaults) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  EXPECT_TRUE(list->SetBool(0, true));  // no SetSize first
  EXPECT_TRUE(list->SetString(3, "s"));
  EXPECT_EQ(list->GetSize(), 4u);
  EXPECT_EQ(list->GetType(1), VTYPE_NULL);
  EXPECT_EQ(list->GetType(9), VTYPE_INVALID);
  EXPECT_EQ(list->GetInt(3), 0);
  EXPECT_EQ(list->GetString(0).ToString(), "");
  EXPECT_FALSE(list->GetBool(9));
  EXPECT_FALSE(list->GetList(0).get());
  // A size beyond the limit is refused rather than allocated.
  EXPECT_FALSE(list->SetSize(static_cast<size_t>(-1)));
  EXPECT_EQ(list->GetSize(), 4u);
}

TEST(ListValue, NegativeIndexesAreMisuseAndChangeNothing) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  ASSERT_TRUE(list->SetInt(0, 7));
  ASSERT_TRUE(list->SetString(1, "kept"));
  {
    cookie_tests::MisuseCapture capture;
    for (int index : {-1, -2147483647 - 1}) {
      SCOPED_TRACE(index);
      EXPECT_FALSE(list->SetInt(index, 1));
      EXPECT_FALSE(list->SetNull(index));
      EXPECT_FALSE(list->SetList(index, CefListValue::Create()));
      EXPECT_FALSE(list->Remove(index));
      // Reads see a missing entry, quietly.
      EXPECT_EQ(list->GetType(index), VTYPE_INVALID);
      EXPECT_EQ(list->GetInt(index), 0);
      EXPECT_FALSE(list->GetValue(index).get());
    }
    EXPECT_EQ(capture.reports.size(), 8u);
  }
  EXPECT_EQ(list->GetSize(), 2u);
  EXPECT_EQ(list->GetInt(0), 7);
  EXPECT_EQ(list->GetString(1).ToString(), "kept");
  // The largest index is refused by the size limit, not by the sign.
  EXPECT_FALSE(list->SetBool(2147483647, true));
  EXPECT_EQ(list->GetSize(), 2u);
}

TEST(ListValue, ChildrenShareTheParentWhileSetCopies) {
  CefRefPtr<CefListValue> child = CefListValue::Create();
  child->SetInt(0, 1);
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetList("k", child);
  child->SetInt(0, 2);  // the dictionary holds a copy
  EXPECT_EQ(dict->GetList("k")->GetInt(0), 1);

  CefRefPtr<CefListValue> view = dict->GetList("k");
  EXPECT_TRUE(view->IsOwned());
  view->SetInt(1, 5);  // a change through the child object shows in the parent
  EXPECT_EQ(dict->GetList("k")->GetSize(), 2u);
  EXPECT_TRUE(view->IsSame(dict->GetList("k")));

  CefRefPtr<CefDictionaryValue> copy = dict->Copy(false);
  view->SetInt(0, 9);
  EXPECT_EQ(copy->GetList("k")->GetInt(0), 1);
}

}  // namespace
