#include <string>

#include <gtest/gtest.h>

#include "engine/document_model.h"
#include "engine/utf.h"
#include "include/cef_app.h"
#include "include/cef_parser.h"

namespace {

using cefengine::ResolveUrl;
using cefengine::ScanDocument;
using cefengine::ScannedDocument;

std::string U8(const std::wstring& s) {
  return cefengine::WideToUtf8(s);
}

TEST(DocumentScanTitle, EntitiesAreDecodedAndBlankRunsCollapsed) {
  const struct {
    const char* html;
    const wchar_t* title;
  } cases[] = {
      {"<title>Plain</title>", L"Plain"},
      {"<TITLE>  Tom &amp; Jerry\n\t &lt;3&gt;  </TITLE>", L"Tom & Jerry <3>"},
      {"<title>&quot;q&quot; &#65;&#x42;&#X43; &#128512;</title>", L"\"q\" ABC \xD83D\xDE00"},
      {"<title>&unknown; &amp &#xZZ; &#0;</title>", L"&unknown; &amp &#xZZ; \xFFFD"},
      {"<title>a<b>bold</b></title>", L"a<b>bold</b>"},  // text, not markup
      {"<title>first</title><title>second</title>", L"first"},
      {"<title></title>", L""},
      {"<title>open to the end", L"open to the end"},
  };
  for (const auto& c : cases) {
    ScannedDocument doc = ScanDocument(c.html, L"text/html", L"http://x.test/");
    EXPECT_TRUE(doc.is_html);
    EXPECT_TRUE(doc.has_title) << c.html;
    EXPECT_EQ(doc.title, c.title) << c.html;
  }
  EXPECT_FALSE(ScanDocument("<p>no title</p>", L"text/html", L"http://x.test/").has_title);
}

TEST(DocumentScanKind, HtmlByTypeOrByLeadingTagWhenTheTypeIsUnknown) {
  const struct {
    const char* bytes;
    const wchar_t* mime;
    bool html;
  } cases[] = {
      {"<title>t</title>", L"text/html", true},
      {"<title>t</title>", L"Text/HTML; charset=utf-8", true},
      {"  \n<HTML><title>t</title>", L"", true},
      {"<!DOCTYPE html><title>t</title>", L"application/octet-stream", true},
      {"<title>t</title>", L"", false},
      {"<html><title>t</title>", L"text/plain", false},
      {"<html><title>t</title>", L"application/json", false},
  };
  for (const auto& c : cases) {
    ScannedDocument doc = ScanDocument(c.bytes, c.mime, L"http://x.test/");
    EXPECT_EQ(doc.is_html, c.html) << c.bytes << " as " << U8(c.mime);
    EXPECT_EQ(doc.has_title, c.html) << c.bytes;
  }
}

TEST(DocumentScanText, Utf16WithByteOrderMarkAndUtf8) {
  std::wstring text = L"<html><title>Gr\u00FC\u00DFe \u65E5\u672C</title></html>";
  std::string le("\xFF\xFE", 2), be("\xFE\xFF", 2);
  for (wchar_t c : text) {
    le.push_back(static_cast<char>(c & 0xFF));
    le.push_back(static_cast<char>(c >> 8));
    be.push_back(static_cast<char>(c >> 8));
    be.push_back(static_cast<char>(c & 0xFF));
  }
  std::string utf8 = "\xEF\xBB\xBF" + cefengine::WideToUtf8(text);
  for (const std::string& bytes : {le, be, utf8, cefengine::WideToUtf8(text)}) {
    ScannedDocument doc = ScanDocument(bytes, L"", L"http://x.test/");
    EXPECT_TRUE(doc.is_html);
    EXPECT_EQ(doc.title, L"Gr\u00FC\u00DFe \u65E5\u672C");
  }
}

TEST(DocumentScanElements, FramesScriptsAndResourcesInDocumentOrder) {
  const char html[] =
      "<html><head><title>Page</title>\n"
      "<script>var a = '<iframe src=\"inside-script.html\">';</script>\n"
      "<script src='lib/one.js'></script>\n"
      "<!-- <iframe src=\"commented.html\"> <script src=\"commented.js\"></script> -->\n"
      "<link rel=stylesheet href=style.css>\n"
      "<SCRIPT type=\"text/javascript\">second()</SCRIPT>\n"
      "</head><body>\n"
      "<iframe name=\"left\" src=\"frames/left.html?x=1&amp;y=2\"></iframe>\n"
      "<img src=\"/img/a.png\"><IFRAME SRC=http://other.test/r.html NAME=right></IFRAME>\n"
      "<frame src=\"\"><iframe></iframe>\n"
      "<embed type=\"application/x-shockwave-flash\" src=\"game.swf\"><embed src=\"untyped.swf\">\n"
      "<object type=\"application/pdf\" data=\"doc.pdf\"></object>\n"
      "</body></html>";
  ScannedDocument doc = ScanDocument(html, L"text/html", L"http://site.test/dir/index.html");
  EXPECT_EQ(doc.title, L"Page");

  ASSERT_EQ(doc.frames.size(), 4u);
  EXPECT_EQ(doc.frames[0].url, L"http://site.test/dir/frames/left.html?x=1&y=2");
  EXPECT_EQ(doc.frames[0].name, L"left");
  EXPECT_EQ(doc.frames[1].url, L"http://other.test/r.html");
  EXPECT_EQ(doc.frames[1].name, L"right");
  EXPECT_EQ(doc.frames[2].url, L"about:blank");
  EXPECT_EQ(doc.frames[2].name, L"");
  EXPECT_EQ(doc.frames[3].url, L"about:blank");

  ASSERT_EQ(doc.scripts.size(), 3u);
  EXPECT_EQ(doc.scripts[0].src, L"");
  EXPECT_EQ(doc.scripts[0].text, L"var a = '<iframe src=\"inside-script.html\">';");
  EXPECT_EQ(doc.scripts[1].src, L"http://site.test/dir/lib/one.js");
  EXPECT_EQ(doc.scripts[1].text, L"");
  EXPECT_EQ(doc.scripts[2].text, L"second()");

  ASSERT_EQ(doc.subresources.size(), 3u);
  EXPECT_EQ(doc.subresources[0].url, L"http://site.test/dir/lib/one.js");
  EXPECT_EQ(doc.subresources[0].type, RT_SCRIPT);
  EXPECT_EQ(doc.subresources[1].url, L"http://site.test/dir/style.css");
  EXPECT_EQ(doc.subresources[1].type, RT_STYLESHEET);
  EXPECT_EQ(doc.subresources[2].url, L"http://site.test/img/a.png");
  EXPECT_EQ(doc.subresources[2].type, RT_IMAGE);

  ASSERT_EQ(doc.plugins.size(), 2u);
  EXPECT_EQ(doc.plugins[0].mime_type, L"application/x-shockwave-flash");
  EXPECT_EQ(doc.plugins[0].url, L"http://site.test/dir/game.swf");
  EXPECT_EQ(doc.plugins[1].mime_type, L"application/pdf");
  EXPECT_EQ(doc.plugins[1].url, L"http://site.test/dir/doc.pdf");
}

TEST(DocumentScanElements, FramesStopAtTheLimit) {
  std::string html = "<html>";
  for (int i = 0; i < 20; ++i)
    html += "<iframe src=\"f" + std::to_string(i) + ".html\"></iframe>";
  ScannedDocument doc = ScanDocument(html, L"text/html", L"http://x.test/");
  ASSERT_EQ(doc.frames.size(), cefengine::kMaxChildFrames);
  EXPECT_EQ(doc.frames.back().url, L"http://x.test/f15.html");
}

TEST(DocumentScanElements, RelativeReferencesStayAsWrittenInNonStandardSchemes) {
  const char html[] = "<html><iframe src=\"sub.html\"></iframe><iframe src=\"zip://abs/page.html\"></iframe>"
                      "<script src=\"code.js\"></script>";
  ScannedDocument doc = ScanDocument(html, L"text/html", L"zip:main.zip/index.html");
  ASSERT_EQ(doc.frames.size(), 2u);
  EXPECT_EQ(doc.frames[0].url, L"sub.html");
  EXPECT_EQ(doc.frames[1].url, L"zip://abs/page.html");
  ASSERT_EQ(doc.scripts.size(), 1u);
  EXPECT_EQ(doc.scripts[0].src, L"code.js");
}

TEST(DocumentScanMeta, BackgroundAndDraggableRegions) {
  const char html[] =
      "<html><meta name=\"cefengine-background\" content=\"#80FF0000\">"
      "<meta name=cefengine-regions content=\"0,0,100,20,1; 10,5,30,10,false;bad;1,2,3,x,1;4,4,-1,4,1\">";
  ScannedDocument doc = ScanDocument(html, L"text/html", L"http://x.test/");
  EXPECT_TRUE(doc.has_background);
  EXPECT_EQ(doc.background, CefColorSetARGB(0x80, 0xFF, 0, 0));
  EXPECT_TRUE(doc.has_regions);
  ASSERT_EQ(doc.regions.size(), 2u);
  EXPECT_EQ(doc.regions[0].bounds.width, 100);
  EXPECT_EQ(doc.regions[0].bounds.height, 20);
  EXPECT_EQ(doc.regions[0].draggable, 1);
  EXPECT_EQ(doc.regions[1].bounds.x, 10);
  EXPECT_EQ(doc.regions[1].bounds.y, 5);
  EXPECT_EQ(doc.regions[1].draggable, 0);

  ScannedDocument plain = ScanDocument("<html><meta name=\"cefengine-background\" content=\"nonsense\">", L"text/html",
                                       L"http://x.test/");
  EXPECT_FALSE(plain.has_background);
  EXPECT_FALSE(plain.has_regions);
}

TEST(DocumentScanMarkup, OddMarkupNeverHidesLaterElements) {
  const char html[] =
      "<html><!doctype x><?xml stuff?> a < b <3 <style>p{content:'<iframe src=no.html>'}</style>"
      "<div data-x='>' title=\"a>b\"><iframe src='yes.html' name='n'/></div>"
      "<textarea><iframe src=never.html></textarea><!-- unterminated";
  ScannedDocument doc = ScanDocument(html, L"text/html", L"http://x.test/");
  ASSERT_EQ(doc.frames.size(), 1u);
  EXPECT_EQ(doc.frames[0].url, L"http://x.test/yes.html");
  EXPECT_EQ(doc.frames[0].name, L"n");
}

TEST(ResolveUrlTable, StandardSchemesResolveOthersDoNot) {
  const struct {
    const wchar_t* base;
    const wchar_t* ref;
    const wchar_t* expected;
  } cases[] = {
      {L"http://a.test/b/c/d.html?q#f", L"g.html", L"http://a.test/b/c/g.html"},
      {L"http://a.test/b/c/d.html", L"./g/", L"http://a.test/b/c/g/"},
      {L"http://a.test/b/c/d.html", L"../g", L"http://a.test/b/g"},
      {L"http://a.test/b/c/d.html", L"../../../../g", L"http://a.test/g"},
      {L"http://a.test/b/c/d.html", L"/g?x=1#y", L"http://a.test/g?x=1#y"},
      {L"http://a.test/b/c/d.html", L"//other.test/p", L"http://other.test/p"},
      {L"http://a.test/b/c/d.html?q", L"?z", L"http://a.test/b/c/d.html?z"},
      {L"http://a.test/b/c/d.html?q#f", L"#top", L"http://a.test/b/c/d.html?q#top"},
      {L"http://a.test/b/c/d.html?q#f", L"", L"http://a.test/b/c/d.html?q"},
      {L"http://a.test:8080/x", L"y", L"http://a.test:8080/y"},
      {L"http://a.test/x/", L"..\\win\\path.html", L"http://a.test/win/path.html"},
      {L"file:///C:/site/index.html", L"img/a.png", L"file:///C:/site/img/a.png"},
      {L"file:///C:/site/index.html", L"../up.html", L"file:///C:/up.html"},
      {L"http://a.test/", L"mailto:x@y.test", L"mailto:x@y.test"},
      {L"zip:pack.zip/index.html", L"zip://x/abs.html", L"zip://x/abs.html"},
      {L"zip:pack.zip/index.html", L"rel.html", L""},
      {L"about:blank", L"rel.html", L""},
      {L"not a url", L"rel.html", L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolveUrl(c.base, c.ref), c.expected) << U8(c.base) << " + " << U8(c.ref);
}

}  // namespace
