#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/utf.h"
#include "include/cef_parser.h"

namespace {

struct NamedColor {
  const char* name;
  cef_color_t color;
};

const NamedColor kNamedColors[] = {
    {"transparent", 0x00000000}, {"black", 0xFF000000},   {"white", 0xFFFFFFFF},   {"red", 0xFFFF0000},
    {"green", 0xFF008000},       {"blue", 0xFF0000FF},    {"yellow", 0xFFFFFF00},  {"gray", 0xFF808080},
    {"grey", 0xFF808080},        {"silver", 0xFFC0C0C0},  {"maroon", 0xFF800000},  {"purple", 0xFF800080},
    {"fuchsia", 0xFFFF00FF},     {"magenta", 0xFFFF00FF}, {"lime", 0xFF00FF00},    {"olive", 0xFF808000},
    {"navy", 0xFF000080},        {"teal", 0xFF008080},    {"aqua", 0xFF00FFFF},    {"cyan", 0xFF00FFFF},
    {"orange", 0xFFFFA500},      {"pink", 0xFFFFC0CB},    {"brown", 0xFFA52A2A},   {"gold", 0xFFFFD700},
    {"darkgray", 0xFFA9A9A9},    {"darkgrey", 0xFFA9A9A9}, {"lightgray", 0xFFD3D3D3}, {"lightgrey", 0xFFD3D3D3},
};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n\f");
  if (b == std::string::npos)
    return std::string();
  size_t e = s.find_last_not_of(" \t\r\n\f");
  return s.substr(b, e - b + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// "RGB", "RRGGBB" or "AARRGGBB" (lower-case hex digits only).
bool ParseHex(const std::string& digits, cef_color_t* color) {
  std::vector<int> v;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0)
      return false;
    v.push_back(d);
  }
  switch (v.size()) {
    case 3:
      *color = CefColorSetARGB(255, v[0] * 17, v[1] * 17, v[2] * 17);
      return true;
    case 6:
      *color = CefColorSetARGB(255, v[0] * 16 + v[1], v[2] * 16 + v[3], v[4] * 16 + v[5]);
      return true;
    case 8:
      *color = CefColorSetARGB(v[0] * 16 + v[1], v[2] * 16 + v[3], v[4] * 16 + v[5], v[6] * 16 + v[7]);
      return true;
    default:
      return false;
  }
}

// A whole-text number; `percent` set when it ends with '%'.
bool ParseNumber(const std::string& text, double* value, bool* percent) {
  std::string t = Trim(text);
  *percent = !t.empty() && t.back() == '%';
  if (*percent)
    t.pop_back();
  if (t.empty())
    return false;
  char* end = nullptr;
  *value = strtod(t.c_str(), &end);
  return end && *end == '\0' && std::isfinite(*value);
}

int ClampByte(double v) {
  if (v < 0)
    return 0;
  if (v > 255)
    return 255;
  return static_cast<int>(std::lround(v));
}

// "rgb(r,g,b)" or "rgba(r,g,b,a)".
bool ParseFunction(const std::string& s, cef_color_t* color) {
  bool has_alpha;
  size_t open;
  if (s.compare(0, 5, "rgba(") == 0) {
    has_alpha = true;
    open = 4;
  } else if (s.compare(0, 4, "rgb(") == 0) {
    has_alpha = false;
    open = 3;
  } else {
    return false;
  }
  if (s.back() != ')')
    return false;
  std::string inner = s.substr(open + 1, s.size() - open - 2);
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t comma = inner.find(',', start);
    parts.push_back(inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos)
      break;
    start = comma + 1;
  }
  if (parts.size() != (has_alpha ? 4u : 3u))
    return false;
  int rgb[3];
  for (int i = 0; i < 3; ++i) {
    double v;
    bool percent;
    if (!ParseNumber(parts[i], &v, &percent))
      return false;
    rgb[i] = ClampByte(percent ? v * 255.0 / 100.0 : v);
  }
  int alpha = 255;
  if (has_alpha) {
    double a;
    bool percent;
    if (!ParseNumber(parts[3], &a, &percent) || percent)
      return false;
    alpha = ClampByte(a * 255.0);
  }
  *color = CefColorSetARGB(alpha, rgb[0], rgb[1], rgb[2]);
  return true;
}

}  // namespace

bool CefParseCSSColor(const CefString& string, bool strict, cef_color_t& color) {
  std::string s = cefengine::AsciiLower(Trim(string.ToString()));
  if (s.empty())
    return false;
  cef_color_t parsed = 0;
  bool ok = false;
  if (s[0] == '#') {
    ok = ParseHex(s.substr(1), &parsed);
  } else if (ParseFunction(s, &parsed)) {
    ok = true;
  } else {
    for (const auto& named : kNamedColors) {
      if (s == named.name) {
        parsed = named.color;
        ok = true;
        break;
      }
    }
    if (!ok && !strict)
      ok = ParseHex(s, &parsed);
  }
  if (ok)
    color = parsed;
  return ok;
}
