#include <string>
#include <vector>

#include "include/cef_parser.h"

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Index(wchar_t c) {
  if (c >= L'A' && c <= L'Z')
    return c - L'A';
  if (c >= L'a' && c <= L'z')
    return c - L'a' + 26;
  if (c >= L'0' && c <= L'9')
    return c - L'0' + 52;
  if (c == L'+')
    return 62;
  if (c == L'/')
    return 63;
  return -1;
}
}  // namespace

CefString CefBase64Encode(const void* data, size_t data_size) {
  const unsigned char* in = static_cast<const unsigned char*>(data);
  std::string out;
  if (!in)
    return out;
  out.reserve((data_size + 2) / 3 * 4);
  for (size_t i = 0; i < data_size; i += 3) {
    unsigned v = in[i] << 16;
    if (i + 1 < data_size)
      v |= in[i + 1] << 8;
    if (i + 2 < data_size)
      v |= in[i + 2];
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(i + 1 < data_size ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back(i + 2 < data_size ? kAlphabet[v & 63] : '=');
  }
  return out;
}

CefRefPtr<CefBinaryValue> CefBase64Decode(const CefString& data) {
  std::wstring in;
  for (wchar_t c : data.ToWString())
    if (c != L' ' && c != L'\r' && c != L'\n' && c != L'\t')
      in.push_back(c);
  if (in.size() % 4 != 0)
    return nullptr;
  std::vector<unsigned char> out;
  out.reserve(in.size() / 4 * 3);
  for (size_t i = 0; i < in.size(); i += 4) {
    int pad = 0;
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      wchar_t c = in[i + k];
      if (c == L'=') {
        // Padding only in the last group's last one or two places.
        if (i + 4 != in.size() || k < 2)
          return nullptr;
        ++pad;
        v <<= 6;
        continue;
      }
      int idx = Index(c);
      if (idx < 0 || pad)
        return nullptr;
      v = (v << 6) | static_cast<unsigned>(idx);
    }
    out.push_back(static_cast<unsigned char>(v >> 16));
    if (pad < 2)
      out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    if (pad < 1)
      out.push_back(static_cast<unsigned char>(v & 0xFF));
  }
  return CefBinaryValue::Create(out.data(), out.size());
}
