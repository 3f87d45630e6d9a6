#include "engine/document_model.h"

#include <cwctype>

#include "engine/scheme_registry.h"
#include "engine/utf.h"
#include "include/cef_parser.h"

namespace cefengine {

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f';
}

bool IsAsciiAlpha(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// Types a server gives when it does not know; the text then decides.
bool IsUnknownMimeType(const std::wstring& mime) {
  return mime.empty() || mime == L"application/octet-stream" || mime == L"unknown/unknown";
}

std::wstring DecodeText(const std::string& bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    bool little = b[0] == 0xFF;
    std::wstring out;
    out.reserve((n - 2) / 2);
    for (size_t i = 2; i + 1 < n; i += 2)
      out.push_back(static_cast<wchar_t>(little ? (b[i] | (b[i + 1] << 8)) : ((b[i] << 8) | b[i + 1])));
    return out;
  }
  size_t skip = n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF ? 3 : 0;
  return Utf8ToWide(bytes.data() + skip, n - skip);
}

bool StartsWithNoCase(const std::wstring& text, size_t at, const wchar_t* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (at + i >= text.size() || towlower(text[at + i]) != prefix[i])
      return false;
  }
  return true;
}

// Finds "</name" (any case) from `from`; npos when absent.
size_t FindEndTag(const std::wstring& text, size_t from, const std::wstring& name) {
  for (size_t at = text.find(L"</", from); at != std::wstring::npos; at = text.find(L"</", at + 2)) {
    if (StartsWithNoCase(text, at + 2, name.c_str())) {
      size_t after = at + 2 + name.size();
      if (after >= text.size() || IsBlank(text[after]) || text[after] == L'>' || text[after] == L'/')
        return at;
    }
  }
  return std::wstring::npos;
}

void AppendCodePoint(unsigned long cp, std::wstring* out) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    cp = 0xFFFD;
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(static_cast<wchar_t>(cp));
  }
}

// Decodes &amp; &lt; &gt; &quot; &apos; &nbsp; &#N; &#xN;. Anything else stays as written.
std::wstring DecodeEntities(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'&') {
      out.push_back(text[i]);
      continue;
    }
    size_t semi = text.find(L';', i + 1);
    if (semi == std::wstring::npos || semi - i > 12) {
      out.push_back(text[i]);
      continue;
    }
    std::wstring name = text.substr(i + 1, semi - i - 1);
    static const struct {
      const wchar_t* name;
      wchar_t value;
    } kNamed[] = {{L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''},
                  {L"nbsp", 0xA0}};
    bool done = false;
    for (const auto& e : kNamed) {
      if (name == e.name) {
        out.push_back(e.value);
        done = true;
        break;
      }
    }
    if (!done && name.size() >= 2 && name[0] == L'#') {
      bool hex = name[1] == L'x' || name[1] == L'X';
      std::wstring digits = name.substr(hex ? 2 : 1);
      bool valid = !digits.empty() && digits.size() <= 8;
      unsigned long cp = 0;
      for (wchar_t c : digits) {
        int v = (c >= L'0' && c <= L'9') ? c - L'0'
                : hex && c >= L'a' && c <= L'f' ? c - L'a' + 10
                : hex && c >= L'A' && c <= L'F' ? c - L'A' + 10
                                                : -1;
        if (v < 0) {
          valid = false;
          break;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(v);
      }
      if (valid) {
        AppendCodePoint(cp, &out);
        done = true;
      }
    }
    if (done)
      i = semi;
    else
      out.push_back(text[i]);
  }
  return out;
}

std::wstring CollapseBlanks(const std::wstring& text) {
  std::wstring out;
  bool pending_blank = false;
  for (wchar_t c : text) {
    if (IsBlank(c)) {
      pending_blank = !out.empty();
      continue;
    }
    if (pending_blank)
      out.push_back(L' ');
    pending_blank = false;
    out.push_back(c);
  }
  return out;
}

struct Tag {
  std::wstring name;  // lower-case
  std::vector<std::pair<std::wstring, std::wstring>> attributes;  // names lower-case, values decoded

  const std::wstring* Find(const wchar_t* attribute) const {
    for (const auto& a : attributes)
      if (a.first == attribute)
        return &a.second;
    return nullptr;
  }
};

// Reads a start tag whose name begins at `at` (just after '<'); returns the index after its '>'.
size_t ReadStartTag(const std::wstring& text, size_t at, Tag* tag) {
  size_t i = at;
  while (i < text.size() && !IsBlank(text[i]) && text[i] != L'>' && text[i] != L'/')
    ++i;
  tag->name = AsciiLower(text.substr(at, i - at));
  while (i < text.size()) {
    while (i < text.size() && (IsBlank(text[i]) || text[i] == L'/'))
      ++i;
    if (i >= text.size())
      break;
    if (text[i] == L'>')
      return i + 1;
    size_t name_start = i;
    while (i < text.size() && !IsBlank(text[i]) && text[i] != L'=' && text[i] != L'>' &&
           !(text[i] == L'/' && i > name_start))
      ++i;
    std::wstring name = AsciiLower(text.substr(name_start, i - name_start));
    while (i < text.size() && IsBlank(text[i]))
      ++i;
    std::wstring value;
    if (i < text.size() && text[i] == L'=') {
      ++i;
      while (i < text.size() && IsBlank(text[i]))
        ++i;
      if (i < text.size() && (text[i] == L'"' || text[i] == L'\'')) {
        wchar_t quote = text[i++];
        size_t end = text.find(quote, i);
        if (end == std::wstring::npos)
          end = text.size();
        value = text.substr(i, end - i);
        i = end < text.size() ? end + 1 : end;
      } else {
        size_t start = i;
        while (i < text.size() && !IsBlank(text[i]) && text[i] != L'>')
          ++i;
        value = text.substr(start, i - start);
      }
    }
    if (!name.empty())
      tag->attributes.emplace_back(name, DecodeEntities(value));
  }
  return text.size();
}

std::wstring Trimmed(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b]))
    ++b;
  while (e > b && IsBlank(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

// The URL a reference in the document names: resolved, or as written when it cannot be.
std::wstring Reference(const std::wstring& base, const std::wstring& ref) {
  std::wstring resolved = ResolveUrl(base, ref);
  return resolved.empty() ? Trimmed(ref) : resolved;
}

// "x,y,w,h,draggable;..." -> regions; malformed entries are skipped.
std::vector<CefDraggableRegion> ParseRegions(const std::wstring& content) {
  std::vector<CefDraggableRegion> regions;
  size_t start = 0;
  while (start <= content.size()) {
    size_t semi = content.find(L';', start);
    std::wstring entry = content.substr(start, semi == std::wstring::npos ? std::wstring::npos : semi - start);
    std::vector<std::wstring> fields;
    size_t f = 0;
    while (true) {
      size_t comma = entry.find(L',', f);
      fields.push_back(Trimmed(entry.substr(f, comma == std::wstring::npos ? std::wstring::npos : comma - f)));
      if (comma == std::wstring::npos)
        break;
      f = comma + 1;
    }
    if (fields.size() == 5) {
      int numbers[4];
      bool ok = true;
      for (int k = 0; k < 4 && ok; ++k) {
        wchar_t* end = nullptr;
        long v = wcstol(fields[k].c_str(), &end, 10);
        ok = !fields[k].empty() && end && *end == 0;
        numbers[k] = static_cast<int>(v);
      }
      std::wstring drag = AsciiLower(fields[4]);
      bool draggable = drag == L"1" || drag == L"true";
      ok = ok && (draggable || drag == L"0" || drag == L"false") && numbers[2] >= 0 && numbers[3] >= 0;
      if (ok) {
        CefDraggableRegion region;
        region.bounds.x = numbers[0];
        region.bounds.y = numbers[1];
        region.bounds.width = numbers[2];
        region.bounds.height = numbers[3];
        region.draggable = draggable ? 1 : 0;
        regions.push_back(region);
      }
    }
    if (semi == std::wstring::npos)
      break;
    start = semi + 1;
  }
  return regions;
}

void OnStartTag(const Tag& tag, const std::wstring& url, ScannedDocument* doc) {
  const std::wstring& n = tag.name;
  if (n == L"iframe" || n == L"frame") {
    if (doc->frames.size() >= kMaxChildFrames)
      return;
    const std::wstring* src = tag.Find(L"src");
    const std::wstring* name = tag.Find(L"name");
    ScannedDocument::ChildFrame frame;
    // A frame without an address shows an empty page.
    frame.url = src && !Trimmed(*src).empty() ? Reference(url, *src) : L"about:blank";
    frame.name = name ? *name : std::wstring();
    doc->frames.push_back(frame);
  } else if (n == L"img") {
    if (const std::wstring* src = tag.Find(L"src"))
      doc->subresources.push_back({Reference(url, *src), RT_IMAGE});
  } else if (n == L"link") {
    if (const std::wstring* href = tag.Find(L"href"))
      doc->subresources.push_back({Reference(url, *href), RT_STYLESHEET});
  } else if (n == L"embed" || n == L"object") {
    const std::wstring* type = tag.Find(L"type");
    if (!type || Trimmed(*type).empty())
      return;
    const std::wstring* src = tag.Find(n == L"embed" ? L"src" : L"data");
    doc->plugins.push_back({AsciiLower(Trimmed(*type)), src ? Reference(url, *src) : std::wstring()});
  } else if (n == L"meta") {
    const std::wstring* name = tag.Find(L"name");
    const std::wstring* content = tag.Find(L"content");
    if (!name || !content)
      return;
    std::wstring key = AsciiLower(Trimmed(*name));
    if (key == L"cefengine-background") {
      cef_color_t color = 0;
      if (CefParseCSSColor(Trimmed(*content), false, color)) {
        doc->has_background = true;
        doc->background = color;
      }
    } else if (key == L"cefengine-regions") {
      doc->has_regions = true;
      doc->regions = ParseRegions(*content);
    }
  }
}

bool LooksLikeHtml(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (IsBlank(text[i]) || text[i] == 0xFEFF))
    ++i;
  return StartsWithNoCase(text, i, L"<html") || StartsWithNoCase(text, i, L"<!doctype");
}

// Path with "." and ".." segments removed.
std::wstring RemoveDotSegments(const std::wstring& path) {
  std::vector<std::wstring> out;
  size_t i = 0;
  bool trailing_slash = false;
  while (i <= path.size()) {
    size_t slash = path.find(L'/', i);
    std::wstring seg = path.substr(i, slash == std::wstring::npos ? std::wstring::npos : slash - i);
    bool last = slash == std::wstring::npos;
    if (seg == L"..") {
      if (out.size() > 1)
        out.pop_back();
      trailing_slash = true;
    } else if (seg == L".") {
      trailing_slash = true;
    } else {
      out.push_back(seg);
      trailing_slash = false;
    }
    if (last)
      break;
    i = slash + 1;
  }
  std::wstring result;
  for (size_t k = 0; k < out.size(); ++k) {
    if (k)
      result += L'/';
    result += out[k];
  }
  if (trailing_slash)
    result += L'/';
  if (result.empty() || result[0] != L'/')
    result.insert(result.begin(), L'/');
  return result;
}

}  // namespace

ScannedDocument ScanDocument(const std::string& bytes, const std::wstring& mime_type, const std::wstring& url) {
  ScannedDocument doc;
  std::wstring mime = AsciiLower(Trimmed(mime_type.substr(0, mime_type.find(L';'))));
  std::wstring text = DecodeText(bytes);
  doc.is_html = mime == L"text/html" || (IsUnknownMimeType(mime) && LooksLikeHtml(text));
  if (!doc.is_html)
    return doc;

  size_t i = 0;
  while (i < text.size()) {
    size_t lt = text.find(L'<', i);
    if (lt == std::wstring::npos)
      break;
    if (text.compare(lt, 4, L"<!--") == 0) {
      size_t end = text.find(L"-->", lt + 4);
      i = end == std::wstring::npos ? text.size() : end + 3;
      continue;
    }
    if (lt + 1 < text.size() && (text[lt + 1] == L'!' || text[lt + 1] == L'?' || text[lt + 1] == L'/')) {
      size_t end = text.find(L'>', lt + 1);
      i = end == std::wstring::npos ? text.size() : end + 1;
      continue;
    }
    if (lt + 1 >= text.size() || !IsAsciiAlpha(text[lt + 1])) {
      i = lt + 1;
      continue;
    }
    Tag tag;
    i = ReadStartTag(text, lt + 1, &tag);
    // Elements whose content is text, not markup.
    if (tag.name == L"script" || tag.name == L"style" || tag.name == L"title" || tag.name == L"textarea") {
      size_t end = FindEndTag(text, i, tag.name);
      std::wstring body = text.substr(i, end == std::wstring::npos ? std::wstring::npos : end - i);
      if (tag.name == L"script") {
        const std::wstring* src = tag.Find(L"src");
        if (src) {
          std::wstring resolved = Reference(url, *src);
          doc.scripts.push_back({resolved, std::wstring()});
          doc.subresources.push_back({resolved, RT_SCRIPT});
        } else {
          doc.scripts.push_back({std::wstring(), body});
        }
      } else if (tag.name == L"title" && !doc.has_title) {
        doc.has_title = true;
        doc.title = CollapseBlanks(DecodeEntities(body));
      }
      if (end == std::wstring::npos) {
        i = text.size();
      } else {
        size_t close = text.find(L'>', end);
        i = close == std::wstring::npos ? text.size() : close + 1;
      }
      continue;
    }
    OnStartTag(tag, url, &doc);
  }
  return doc;
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& ref_in) {
  std::wstring ref = Trimmed(ref_in);
  // An absolute reference: a scheme, then ':'.
  size_t colon = ref.find(L':');
  if (colon != std::wstring::npos && colon > 0 && IsAsciiAlpha(ref[0])) {
    bool scheme = true;
    for (size_t k = 0; k < colon && scheme; ++k) {
      wchar_t c = ref[k];
      scheme = IsAsciiAlpha(c) || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
    }
    if (scheme)
      return ref;
  }
  CefURLParts parts;
  if (!CefParseURL(base, parts))
    return std::wstring();
  std::wstring base_scheme = CefString(&parts.scheme).ToWString();
  if (!IsStandardScheme(base_scheme))
    return std::wstring();
  for (wchar_t& c : ref)
    if (c == L'\\')
      c = L'/';

  std::wstring base_url = CefString(&parts.spec).ToWString();
  std::wstring no_fragment = base_url.substr(0, base_url.find(L'#'));
  std::wstring path = CefString(&parts.path).ToWString();
  // "scheme://authority": the base URL up to its path.
  size_t authority_end = base_url.find(L'/', base_scheme.size() + 3);
  std::wstring authority =
      base_url.substr(0, authority_end == std::wstring::npos ? base_url.size() : authority_end);
  // The part of a path or reference before '?' or '#', and the rest.
  auto split = [](const std::wstring& r, std::wstring* p, std::wstring* tail) {
    size_t cut = r.find_first_of(L"?#");
    *p = r.substr(0, cut);
    *tail = cut == std::wstring::npos ? std::wstring() : r.substr(cut);
  };

  if (ref.empty())
    return no_fragment;
  if (ref[0] == L'#')
    return no_fragment + ref;
  if (ref.compare(0, 2, L"//") == 0)
    return base_scheme + L":" + ref;
  if (ref[0] == L'?')
    return authority + path + ref;
  std::wstring ref_path, tail;
  split(ref, &ref_path, &tail);
  if (ref[0] == L'/')
    return authority + RemoveDotSegments(ref_path) + tail;
  std::wstring directory = path.substr(0, path.rfind(L'/') + 1);
  if (ref_path.empty())  // "" before '?' or '#' was handled above; keep the base path
    return authority + path + tail;
  return authority + RemoveDotSegments(directory + ref_path) + tail;
}

}  // namespace cefengine
