#include "browser/host_protocol.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/browser/payload_items.h"
#include "tests/channel/wire_bytes.h"

using namespace client;
using wire_bytes::FromHex;
using wire_bytes::Hex;
using wire_bytes::Strip;

namespace {

// "name=value" per decoded item, blank-separated; "name=-" for an item that was missing.
std::string Summary(const std::vector<PayloadItem>& items) {
  std::string out;
  for (const PayloadItem& item : items) {
    if (!out.empty()) out += ' ';
    out += item.name + '=';
    if (!item.present) {
      out += '-';
    } else if (item.kind == 's') {
      for (wchar_t c : item.text) out += c < 128 ? static_cast<char>(c) : '?';
    } else {
      out += std::to_string(item.number);
    }
  }
  return out;
}

using payload_items::Bool;
using payload_items::Int;
using payload_items::Int64;
using payload_items::Text;

IPC::Message Command(uint32_t view, HostCommand code, std::vector<PayloadItem> items) {
  IPC::Message m;
  EXPECT_TRUE(MakeCommand(view, code, items, &m));
  return m;
}

struct WireCase {
  const char* name;
  std::function<IPC::Message()> build;
  int32_t routing;
  uint32_t type;
  const char* payload_hex;
  const char* decoded;  // Summary() of the message decoded by its table layout
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class ProtocolGolden : public ::testing::TestWithParam<WireCase> {};

TEST_P(ProtocolGolden, PayloadBytesAndDecodedItems) {
  const WireCase& c = GetParam();
  IPC::Message m = c.build();
  EXPECT_EQ(m.GetRouting(), c.routing);
  EXPECT_EQ(m.GetType(), c.type);
  EXPECT_EQ(m.GetFlags() & 0xFFu, 2u);
  EXPECT_EQ(Hex(m.GetPayload(), m.GetPayloadSize()), Strip(c.payload_hex));
  // Decode what would arrive: exactly the bytes on the wire.
  std::vector<char> block(m.GetData(), m.GetData() + m.GetSize());
  IPC::Message received(block.data(), static_cast<int>(block.size()));
  const ProtocolEntry* entry = c.routing == kRoutingIdHost ? FindHostEvent(CodeOfType(c.type))
                                                            : FindHostCommand(CodeOfType(c.type));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(Summary(DecodePayload(received, entry->layout)), c.decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ProtocolGolden,
    ::testing::Values(
        WireCase{"LoadUrl", [] { return Command(0x100, MsgToBrowserLoadUrl, {Text(L"abc"), Text(L"k=v")}); }, 1,
                 0x101, "03000000 610062006300 0000 03000000 6b003d007600", "url=abc cookie=k=v"},
        WireCase{"SetCookie", [] { return Command(0, MsgToBrowserSetCookie, {Text(L"abc"), Text(L"")}); }, 1, 2,
                 "03000000 610062006300 0000 00000000", "url=abc cookie="},
        WireCase{"SetBounds",
                 [] { return Command(0x200, MsgToBrowserSetBounds, {Int(1), Int(-2), Int(300), Int(400)}); }, 1,
                 0x203, "01000000 feffffff 2c010000 90010000", "x=1 y=-2 width=300 height=400"},
        WireCase{"Show", [] { return Command(0x100, MsgToBrowserShow, {Int(1)}); }, 1, 0x104, "01000000",
                 "show=1"},
        WireCase{"Close", [] { return Command(0x100, MsgToBrowserClose, {}); }, 1, 0x105, "", ""},
        WireCase{"MuteIsABoolSlot", [] { return Command(0x100, MsgToBrowserMute, {Bool(true)}); }, 1, 0x106,
                 "01000000", "mute=1"},
        WireCase{"CallFunction",
                 [] {
                   return Command(0x100, MsgToBrowserCallFunction,
                                  {Int64(0x100000005LL), Text(L"f"), Text(L"x"), Text(L"")});
                 },
                 1, 0x107, "05000000 01000000 01000000 6600 0000 01000000 7800 0000 00000000",
                 "id=4294967301 function=f args=x args="},
        WireCase{"GetCookies", [] { return Command(0x100, MsgToBrowserGetCookies, {Text(L"abc"), Int(1)}); }, 1,
                 0x109, "03000000 610062006300 0000 01000000", "url=abc includeHttpOnly=1"},
        WireCase{"RegisterFunction", [] { return Command(0x100, MsgToBrowserRegisterFunction, {Text(L"abc")}); },
                 1, 0x10A, "03000000 610062006300", "name=abc"},
        WireCase{"CreateWebView", [] { return Command(0, MsgToBrowserCreateWebView, {Text(L"--a")}); }, 1, 0x0D,
                 "03000000 2d002d006100", "switches=--a"},
        WireCase{"SetCookieSchemes", [] { return Command(0, MsgToBrowserSetCookieSchemes, {Text(L"a;b")}); }, 1,
                 0x0E, "03000000 61003b006200", "schemes=a;b"},
        WireCase{"DeleteCookies", [] { return Command(0, MsgToBrowserDeleteCookies, {Text(L""), Text(L"")}); }, 1,
                 0x0F, "00000000 00000000", "url= name="},
        WireCase{"GoBack", [] { return Command(0x300, MsgToBrowserGoBack, {}); }, 1, 0x310, "", ""},
        WireCase{"GoForward", [] { return Command(0x300, MsgToBrowserGoForward, {}); }, 1, 0x311, "", ""},
        WireCase{"Reload", [] { return Command(0x300, MsgToBrowserReload, {}); }, 1, 0x312, "", ""},
        WireCase{"ReloadIgnoreCache", [] { return Command(0x300, MsgToBrowserReloadIgnoreCache, {}); }, 1, 0x313,
                 "", ""},
        WireCase{"StopLoad", [] { return Command(0x300, MsgToBrowserStopLoad, {}); }, 1, 0x314, "", ""},
        WireCase{"SetReferer", [] { return Command(0x100, MsgToBrowserSetReferer, {Text(L"abc")}); }, 1, 0x115,
                 "03000000 610062006300", "referrer=abc"},
        WireCase{"SetWorkArea",
                 [] { return Command(0x100, MsgToBrowserSetWorkArea, {Int(0), Int(0), Int(0), Int(0)}); }, 1,
                 0x116, "00000000 00000000 00000000 00000000", "x=0 y=0 width=0 height=0"}),
    [](const ::testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Events, ProtocolGolden,
    ::testing::Values(
        WireCase{"BrowserCreatedZeroExtendsTheHandle",
                 [] { return MakeBrowserCreatedEvent(0x100, HwndFromWire(0x80001234)); }, 2, 0x101,
                 "34120080 00000000", "hwnd=2147488308"},
        WireCase{"WindowDestroyed", [] { return MakeWindowDestroyedEvent(0x100); }, 2, 0x102, "", ""},
        WireCase{"BrowserClosing", [] { return MakeBrowserClosingEvent(0x100); }, 2, 0x103, "", ""},
        WireCase{"LoadFailedStatus",
                 [] { return MakeLoadFailedEvent(0x100, L"abc", MakeStatusCodeDetail(404)); }, 2, 0x104,
                 "03000000 610062006300 0000 0f000000 "
                 "400053007400610074007500730043006f00640065003d00340030003400",
                 "url=abc detail=@StatusCode=404"},
        WireCase{"LoadFailedErrorWithText",
                 [] { return MakeLoadFailedEvent(0x100, L"", MakeErrorCodeDetail(-105, L"X")); }, 2, 0x104,
                 "00000000 12000000 "
                 "40004500720072006f00720043006f00640065003d002d003100300035002c0020005800",
                 "url= detail=@ErrorCode=-105, X"},
        WireCase{"LoadEnd", [] { return MakeLoadEndEvent(0x100, L"abc"); }, 2, 0x105, "03000000 610062006300",
                 "url=abc"},
        WireCase{"AddressChange", [] { return MakeAddressChangeEvent(0x100, L"abc"); }, 2, 0x106,
                 "03000000 610062006300", "url=abc"},
        WireCase{"TitleChange", [] { return MakeTitleChangeEvent(0x100, L"abc"); }, 2, 0x107,
                 "03000000 610062006300", "title=abc"},
        WireCase{"NewWindowFromTabHasOneItem", [] { return MakeNewWindowEvent(0x100, L"abc", false); }, 2, 0x108,
                 "03000000 610062006300", "url=abc popup=-"},
        WireCase{"NewWindowFromPopupHasTwo", [] { return MakeNewWindowEvent(0x100, L"abc", true); }, 2, 0x108,
                 "03000000 610062006300 0000 01000000", "url=abc popup=1"},
        WireCase{"CallHost",
                 [] { return MakeCallHostEvent(0x100, -1, L"m", L"&0000001", {L"a", L"b"}); }, 2, 0x10A,
                 "ffffffff ffffffff 01000000 6d00 0000 08000000 26003000300030003000300030003100 "
                 "01000000 6100 0000 01000000 6200",
                 "id=-1 method=m callback=&0000001 args=a args=b"},
        WireCase{"CallResult", [] { return MakeCallResultEvent(0x100, 5, kCallNoWebView, L""); }, 2, 0x10B,
                 "05000000 00000000 04000000 00000000", "id=5 status=4 result="},
        WireCase{"SetBrowserPos", [] { return MakeSetBrowserPosEvent(0x100, L"{1}"); }, 2, 0x10C,
                 "03000000 7b0031007d00", "rect={1}"},
        WireCase{"Cookies", [] { return MakeCookiesEvent(0x100, L"abc", L"a=1;"); }, 2, 0x10D,
                 "03000000 610062006300 0000 04000000 61003d0031003b00", "url=abc cookies=a=1;"},
        WireCase{"Fullscreen", [] { return MakeFullscreenEvent(0x100, true); }, 2, 0x10F, "01000000",
                 "fullscreen=1"},
        WireCase{"LoadingState", [] { return MakeLoadingStateEvent(0x100, true, false, true); }, 2, 0x110,
                 "01000000 00000000 01000000", "canGoBack=1 canGoForward=0 isLoading=1"},
        WireCase{"FlashPluginMissing", [] { return MakeFlashPluginMissingEvent(0x100); }, 2, 0x111, "", ""},
        WireCase{"SubFrameLoadEnd", [] { return MakeSubFrameLoadEndEvent(0x100, L"abc", 7); }, 2, 0x112,
                 "03000000 610062006300 0000 07000000 00000000", "url=abc frameId=7"}),
    [](const ::testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

TEST(HostProtocol, MissingItemsReadAsDefaultsAndHighTypeBitsAreIgnored) {
  IPC::Message m(kRoutingIdBrowser, 0x7FFF0103u, 2);  // bits 16-31 set
  ASSERT_TRUE(m.WriteInt(10));
  ASSERT_TRUE(m.WriteInt(20));
  EXPECT_EQ(CodeOfType(m.GetType()), static_cast<uint32_t>(MsgToBrowserSetBounds));
  EXPECT_EQ(ViewOfType(m.GetType()), 0x100u);
  EXPECT_EQ(Summary(DecodePayload(m, FindHostCommand(MsgToBrowserSetBounds)->layout)),
            "x=10 y=20 width=- height=-");
  std::vector<PayloadItem> items = DecodePayload(m, FindHostCommand(MsgToBrowserSetBounds)->layout);
  EXPECT_EQ(items[2].number, 0);
  EXPECT_EQ(items[3].number, 0);
}

TEST(HostProtocol, CallArgumentsStopAtAMalformedText) {
  IPC::Message m(kRoutingIdBrowser, MsgToBrowserCallFunction, 2);
  ASSERT_TRUE(m.WriteInt64(3));
  ASSERT_TRUE(m.WriteString16(L"f"));
  ASSERT_TRUE(m.WriteString16(L"a"));
  ASSERT_TRUE(m.WriteInt(100));  // a count larger than what is left
  EXPECT_EQ(Summary(DecodePayload(m, FindHostCommand(MsgToBrowserCallFunction)->layout)),
            "id=3 function=f args=a");
}

TEST(HostProtocol, IgnoredCodesAreNotInTheTables) {
  for (uint32_t code : {0u, 8u, 11u, 12u, 23u, 255u}) EXPECT_EQ(FindHostCommand(code), nullptr) << code;
  for (uint32_t code : {0u, 9u, 0x0Eu, 0x13u}) EXPECT_EQ(FindHostEvent(code), nullptr) << code;
}

TEST(HostProtocol, ExecuteIdsKeepTheirLow32BitsThroughTheRenderer) {
  EXPECT_EQ(ExecuteIdToRenderer(0x100000005LL), 5);
  EXPECT_EQ(ExecuteIdFromRenderer(ExecuteIdToRenderer(0x100000005LL)), 5);
  EXPECT_EQ(ExecuteIdFromRenderer(ExecuteIdToRenderer(0xFFFFFFFFLL)), -1);
  EXPECT_EQ(ExecuteIdFromRenderer(ExecuteIdToRenderer(-7)), -7);
}

TEST(HostProtocol, HandlesRoundTripThroughTheWire) {
  for (uint32_t raw : {0x1234u, 0x7FFFFFFEu, 0x80000010u, 0xFFFFFFF0u}) {
    HWND hwnd = HwndFromWire(raw);
    EXPECT_EQ(HwndToWire(hwnd), static_cast<int64_t>(raw));
    EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(hwnd)), raw);
  }
}

TEST(HostProtocol, LoadFailureDetailKeepsTheWholeErrorText) {
  EXPECT_EQ(MakeStatusCodeDetail(-2147483647 - 1), L"@StatusCode=-2147483648");
  const std::wstring text(100, L'e');
  const std::wstring detail = MakeErrorCodeDetail(-3, text);
  EXPECT_EQ(detail, L"@ErrorCode=-3, " + text);
}

}  // namespace
