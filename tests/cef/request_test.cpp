#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "engine/request_impl.h"
#include "engine/resource_loader.h"
#include "include/cef_request.h"
#include "include/cef_response.h"
#include "testing/network_testing.h"

namespace {

std::string BytesOf(CefRefPtr<CefPostDataElement> element) {
  std::string out(element->GetBytesCount(), '\0');
  if (!out.empty())
    out.resize(element->GetBytes(out.size(), &out[0]));
  return out;
}

TEST(CefRequestObject, CreateGivesAWritableGetRequestWithoutIdentifier) {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  ASSERT_TRUE(request);
  EXPECT_FALSE(request->IsReadOnly());
  EXPECT_EQ(request->GetMethod().ToString(), "GET");
  EXPECT_EQ(request->GetIdentifier(), 0u);
  EXPECT_FALSE(request->GetPostData());

  request->SetURL("http://example.test/a");
  request->SetMethod("POST");
  request->SetReferrer("http://example.test/", REFERRER_POLICY_ALWAYS);
  request->SetFlags(UR_FLAG_SKIP_CACHE);
  CefRequest::HeaderMap headers;
  headers.insert(std::make_pair(CefString("X-One"), CefString("1")));
  headers.insert(std::make_pair(CefString("X-One"), CefString("2")));
  request->SetHeaderMap(headers);

  EXPECT_EQ(request->GetURL().ToString(), "http://example.test/a");
  EXPECT_EQ(request->GetMethod().ToString(), "POST");
  EXPECT_EQ(request->GetReferrerURL().ToString(), "http://example.test/");
  EXPECT_EQ(request->GetReferrerPolicy(), REFERRER_POLICY_ALWAYS);
  EXPECT_EQ(request->GetFlags(), UR_FLAG_SKIP_CACHE);
  CefRequest::HeaderMap back;
  request->GetHeaderMap(back);
  EXPECT_EQ(back.size(), 2u);
  EXPECT_EQ(back.count("X-One"), 2u);
}

TEST(CefRequestObject, ReadOnlyRequestIgnoresEverySetterAndItsBody) {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  CefRefPtr<CefPostData> body = CefPostData::Create();
  CefRefPtr<CefPostDataElement> element = CefPostDataElement::Create();
  element->SetToBytes(3, "abc");
  ASSERT_TRUE(body->AddElement(element));
  request->Set("http://a.test/", "POST", body, CefRequest::HeaderMap());

  cefengine::SetRequestReadOnly(request, true);
  EXPECT_TRUE(request->IsReadOnly());
  EXPECT_TRUE(body->IsReadOnly());
  EXPECT_TRUE(element->IsReadOnly());
  request->SetURL("http://b.test/");
  request->SetMethod("GET");
  request->SetPostData(nullptr);
  request->Set("http://c.test/", "PUT", nullptr, CefRequest::HeaderMap());
  element->SetToEmpty();
  EXPECT_FALSE(body->AddElement(CefPostDataElement::Create()));
  EXPECT_FALSE(body->RemoveElement(element));
  body->RemoveElements();

  EXPECT_EQ(request->GetURL().ToString(), "http://a.test/");
  EXPECT_EQ(request->GetMethod().ToString(), "POST");
  EXPECT_EQ(request->GetPostData().get(), body.get());
  EXPECT_EQ(body->GetElementCount(), 1u);
  EXPECT_EQ(BytesOf(element), "abc");

  cefengine::SetRequestReadOnly(request, false);
  request->SetURL("http://b.test/");
  EXPECT_EQ(request->GetURL().ToString(), "http://b.test/");
  EXPECT_FALSE(element->IsReadOnly());
}

TEST(CefRequestObject, MakeRequestGivesFreshIdentifiersAndTheGivenKinds) {
  CefRefPtr<CefRequest> a = cefengine::MakeRequest(L"http://a.test/", L"", L"http://ref.test/", RT_SUB_FRAME,
                                                   TT_AUTO_SUBFRAME);
  CefRefPtr<CefRequest> b = cefengine::MakeRequest(L"http://a.test/", L"POST", L"", RT_IMAGE, TT_LINK);
  EXPECT_NE(a->GetIdentifier(), 0u);
  EXPECT_GT(b->GetIdentifier(), a->GetIdentifier());
  EXPECT_EQ(a->GetMethod().ToString(), "GET");
  EXPECT_EQ(b->GetMethod().ToString(), "POST");
  EXPECT_EQ(a->GetReferrerURL().ToString(), "http://ref.test/");
  EXPECT_EQ(a->GetResourceType(), RT_SUB_FRAME);
  EXPECT_EQ(a->GetTransitionType(), TT_AUTO_SUBFRAME);
  EXPECT_EQ(b->GetResourceType(), RT_IMAGE);
  EXPECT_FALSE(a->IsReadOnly());
}

TEST(CefPostDataObject, ElementsKeepOrderAndRefuseNullDuplicatesAndStrangers) {
  CefRefPtr<CefPostData> body = CefPostData::Create();
  CefRefPtr<CefPostDataElement> first = CefPostDataElement::Create();
  CefRefPtr<CefPostDataElement> second = CefPostDataElement::Create();
  EXPECT_FALSE(body->AddElement(nullptr));
  EXPECT_TRUE(body->AddElement(first));
  EXPECT_FALSE(body->AddElement(first));
  EXPECT_TRUE(body->AddElement(second));
  EXPECT_FALSE(body->RemoveElement(CefPostDataElement::Create()));
  CefPostData::ElementVector elements;
  body->GetElements(elements);
  ASSERT_EQ(elements.size(), 2u);
  EXPECT_EQ(elements[0].get(), first.get());
  EXPECT_EQ(elements[1].get(), second.get());
  EXPECT_TRUE(body->RemoveElement(first));
  EXPECT_EQ(body->GetElementCount(), 1u);
  body->RemoveElements();
  EXPECT_EQ(body->GetElementCount(), 0u);
}

TEST(CefPostDataObject, ElementSwitchesBetweenEmptyBytesAndFile) {
  CefRefPtr<CefPostDataElement> element = CefPostDataElement::Create();
  EXPECT_EQ(element->GetType(), PDE_TYPE_EMPTY);
  element->SetToBytes(5, "hello");
  EXPECT_EQ(element->GetType(), PDE_TYPE_BYTES);
  char small[3] = {};
  EXPECT_EQ(element->GetBytes(sizeof(small), small), 3u);  // a short buffer gets a prefix
  EXPECT_EQ(std::string(small, 3), "hel");
  EXPECT_EQ(element->GetBytes(5, nullptr), 0u);
  element->SetToFile("C:\\x.bin");
  EXPECT_EQ(element->GetType(), PDE_TYPE_FILE);
  EXPECT_EQ(element->GetFile().ToString(), "C:\\x.bin");
  EXPECT_EQ(element->GetBytesCount(), 0u);
  element->SetToBytes(0, nullptr);
  EXPECT_EQ(element->GetType(), PDE_TYPE_BYTES);
  EXPECT_EQ(element->GetBytesCount(), 0u);
  element->SetToEmpty();
  EXPECT_EQ(element->GetType(), PDE_TYPE_EMPTY);
}

TEST(CefPostDataObject, FlattenJoinsBytesAndFilesAndFailsOnAMissingFile) {
  std::wstring url = cefengine::test::AddFile(L"post\\part.txt", "-file-");
  ASSERT_FALSE(url.empty());
  CefRefPtr<CefPostData> body = CefPostData::Create();
  CefRefPtr<CefPostDataElement> bytes = CefPostDataElement::Create();
  bytes->SetToBytes(2, "ab");
  CefRefPtr<CefPostDataElement> file = CefPostDataElement::Create();
  file->SetToFile(cefengine::test::FileRoot() + L"\\post\\part.txt");
  body->AddElement(bytes);
  body->AddElement(CefPostDataElement::Create());
  body->AddElement(file);
  std::string flat;
  EXPECT_TRUE(cefengine::FlattenPostData(body, &flat));
  EXPECT_EQ(flat, "ab-file-");

  CefRefPtr<CefPostDataElement> missing = CefPostDataElement::Create();
  missing->SetToFile(cefengine::test::FileRoot() + L"\\post\\absent.txt");
  body->AddElement(missing);
  EXPECT_FALSE(cefengine::FlattenPostData(body, &flat));
  cefengine::test::RemoveFiles();
}

TEST(CefResponseObject, HeadersAreFoundWithoutCaseAndReadOnlyRefusesChanges) {
  CefRefPtr<CefResponse> response = CefResponse::Create();
  EXPECT_EQ(response->GetStatus(), 0);
  response->SetStatus(404);
  response->SetStatusText("Not Found");
  response->SetMimeType("text/html");
  CefResponse::HeaderMap headers;
  headers.insert(std::make_pair(CefString("Set-Cookie"), CefString("a=1")));
  headers.insert(std::make_pair(CefString("set-cookie"), CefString("b=2")));
  response->SetHeaderMap(headers);
  EXPECT_EQ(response->GetHeader("SET-COOKIE").ToString(), "a=1");
  EXPECT_EQ(response->GetHeader("Location").ToString(), "");

  static_cast<cefengine::ResponseImpl*>(response.get())->SetReadOnly(true);
  EXPECT_TRUE(response->IsReadOnly());
  response->SetStatus(200);
  response->SetMimeType("text/plain");
  response->SetHeaderMap(CefResponse::HeaderMap());
  EXPECT_EQ(response->GetStatus(), 404);
  EXPECT_EQ(response->GetMimeType().ToString(), "text/html");
  CefResponse::HeaderMap back;
  response->GetHeaderMap(back);
  EXPECT_EQ(back.size(), 2u);
}

TEST(ErrorCodeTextTable, NamesKnownCodesAndFallsBackToFailed) {
  const struct {
    cef_errorcode_t code;
    const wchar_t* text;
  } cases[] = {
      {ERR_ABORTED, L"net::ERR_ABORTED"},
      {ERR_NAME_NOT_RESOLVED, L"net::ERR_NAME_NOT_RESOLVED"},
      {ERR_UNKNOWN_URL_SCHEME, L"net::ERR_UNKNOWN_URL_SCHEME"},
      {ERR_TOO_MANY_REDIRECTS, L"net::ERR_TOO_MANY_REDIRECTS"},
      {ERR_CERT_AUTHORITY_INVALID, L"net::ERR_CERT_AUTHORITY_INVALID"},
      {ERR_FILE_NOT_FOUND, L"net::ERR_FILE_NOT_FOUND"},
      {static_cast<cef_errorcode_t>(-9999), L"net::ERR_FAILED"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(cefengine::ErrorCodeText(c.code), c.text) << c.code;
}

}  // namespace
