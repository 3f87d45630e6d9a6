// Speed of the package path beside the same work done by the libraries:
// - base64-decode: Base64Codec::Decode against OpenSSL's EVP_DecodeBlock;
// - blowfish-decipher: BlowfishCipher (ECB) against OpenSSL's BF_ecb_encrypt;
// - entry-inflate: ZipArchive::ExtractToBuffer of a deflated entry (inflate and CRC-32 check)
//   against zlib's inflate followed by zlib's crc32 over what it produced;
// - cold-request-<n>MiB: one "zip" URL request of a new scheme factory, which reads the package
//   of n MiB of pages in 8 deflated entries, deciphers it, extracts every entry and keeps them,
//   then is released; against reading the same file and running EVP_DecodeBlock,
//   BF_ecb_encrypt, inflate and crc32 over it, each entry inflated into memory of its own (kept,
//   as the factory keeps them, until the round is over);
// - warm-request-<n>MiB: the same request answered from the cache (the entry's bytes read in
//   64 KiB pieces), against copying the same bytes in the same pieces: what a request costs
//   beside its body stays below the body's copy.
// Each figure is the median of several rounds in which ours and the anchor alternate, each going
// first every other round, so that a noisy machine moves both alike.
//
// Output, one line per figure (shared with ./dev bench):
//   cipher <figure>: ours <value> <unit>, anchor <value> <unit>, ratio <r>x, target <op> <t>x: met|MISSED
// Throughputs compare ours / anchor (target >=), times ours / anchor (target <=). The exit code
// is 0 when every figure was measured (a missed target is reported, not an error).
// Run: brivelo_cipher_bench.exe [MiB...]   (the request figures for 4 and 16 MiB by default)

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <openssl/blowfish.h>
#include <openssl/evp.h>
#include <zlib.h>

#include "base/base64_codec.h"
#include "base/blowfish_cipher.h"
#include "base/zip_archive.h"
#include "browser/client_scheme_handler_factory.h"
#include "include/cef_callback.h"
#include "include/cef_request.h"
#include "include/cef_response.h"
#include "tools/pkgmaker/package_builder.h"
#include "tools/pkgmaker/zip_builder.h"

namespace {

const char kKey[] = "6F9619FF-8B86-D011-B42D-00C04FC964FF";  // 36 bytes, as the program's keys
const int kEntries = 8;
const size_t kChunk = 64 * 1024;

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

template <typename Work>
double TimeOf(Work work) {
  const double start = Seconds();
  work();
  return Seconds() - start;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median seconds of ours and of the anchor over `rounds` alternating rounds, after one warm-up
// of each.
template <typename Ours, typename Anchor>
void Interleaved(int rounds, Ours ours, Anchor anchor, double* oursSeconds, double* anchorSeconds) {
  ours();
  anchor();
  std::vector<double> a, b;
  for (int i = 0; i < rounds; ++i) {
    if (i % 2 == 0) {
      a.push_back(TimeOf(ours));
      b.push_back(TimeOf(anchor));
    } else {
      b.push_back(TimeOf(anchor));
      a.push_back(TimeOf(ours));
    }
  }
  *oursSeconds = Median(a);
  *anchorSeconds = Median(b);
}

struct Target {
  bool atLeast;  // throughput: ours / anchor >= ratio; time: ours / anchor <= ratio
  double ratio;
};

void Report(const std::string& figure, double ours, double anchor, const char* unit, Target target) {
  const double ratio = anchor > 0 ? ours / anchor : 0.0;
  const bool met = target.atLeast ? ratio >= target.ratio : ratio <= target.ratio;
  printf("cipher %s: ours %.1f %s, anchor %.1f %s, ratio %.2fx, target %s %.1fx: %s\n", figure.c_str(), ours, unit,
         anchor, unit, ratio, target.atLeast ? ">=" : "<=", target.ratio, met ? "met" : "MISSED");
  fflush(stdout);
}

double MegabytesPerSecond(size_t bytes, double seconds) {
  return seconds > 0 ? double(bytes) / (1024.0 * 1024.0) / seconds : 0.0;
}

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

// The handler protocol as the engine drives it, without the engine: the stream handler answers
// at once, so nothing waits for Continue.
class IgnoredCallback : public CefCallback {
 public:
  void Continue() override {}
  void Cancel() override {}
  IMPLEMENT_REFCOUNTING(IgnoredCallback);
};

// One request of the factory, its body read to the end; the body's size, or 0 when not served.
size_t Request(CefRefPtr<client::ClientSchemeHandlerFactory> factory, CefRefPtr<CefRequest> request,
               std::vector<char>* chunk) {
  CefRefPtr<CefResourceHandler> handler = factory->Create(nullptr, nullptr, "zip", request);
  if (!handler) return 0;
  CefRefPtr<CefCallback> callback = new IgnoredCallback();
  handler->ProcessRequest(request, callback);
  int64 length = 0;
  CefString redirect;
  handler->GetResponseHeaders(CefResponse::Create(), length, redirect);
  size_t total = 0;
  int read = 0;
  while (handler->ReadResponse(chunk->data(), int(chunk->size()), read, callback)) total += size_t(read);
  return total;
}

std::string ReadWholeFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr) || read != bytes.size()) bytes.clear();
  CloseHandle(file);
  return bytes;
}

uint32_t Read32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

// The cold request's work done with the libraries: read, Base64, Blowfish-ECB, then every entry
// inflated into a block of its own and CRC-checked. False when anything does not check.
bool LibraryColdLoad(const std::wstring& path, const BF_KEY& schedule, size_t entrySize) {
  const std::string text = ReadWholeFile(path);
  std::vector<unsigned char> plain(text.size() / 4 * 3 + 8);
  const int length = EVP_DecodeBlock(plain.data(), Bytes(text), int(text.size()));
  if (length <= 0) return false;
  for (int at = 0; at + 8 <= length; at += 8) BF_ecb_encrypt(plain.data() + at, plain.data() + at, &schedule, BF_DECRYPT);
  std::vector<std::unique_ptr<unsigned char, decltype(&free)>> kept;
  bool ok = true;
  size_t local = 0;
  for (int e = 0; e < kEntries && ok; ++e) {
    const unsigned char* header = plain.data() + local;
    const uint32_t compressed = Read32(header + 18);
    const size_t data = local + 30 + (header[26] | header[27] << 8) + (header[28] | header[29] << 8);
    kept.emplace_back(static_cast<unsigned char*>(malloc(entrySize)), &free);
    z_stream stream;
    memset(&stream, 0, sizeof(stream));
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = plain.data() + data;
    stream.avail_in = uInt(compressed);
    stream.next_out = kept.back().get();
    stream.avail_out = uInt(entrySize);
    ok = kept.back() && inflate(&stream, Z_FINISH) == Z_STREAM_END;
    inflateEnd(&stream);
    ok = ok && crc32(crc32(0L, Z_NULL, 0), kept.back().get(), uInt(entrySize)) == Read32(header + 14);
    local = data + compressed;
  }
  return ok;
}

// Cold and warm requests of one entry of a package holding `size` bytes of pages in 8 deflated
// entries.
bool BenchRequests(const std::string& page, size_t size) {
  const size_t entrySize = size / kEntries;
  std::vector<ZipBuildEntry> entries(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    entries[i].name = "pages/page" + std::to_string(i) + ".html";
    entries[i].data = page.substr(size_t(i) * entrySize, entrySize);
  }
  const std::string zip = BuildZipArchive(entries);
  std::string package;
  if (zip.empty() || !BuildPlainPackage(zip, kKey, &package)) return false;
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"brivelo_bench_" + std::to_wstring(GetCurrentProcessId()) + L".pak";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  const bool saved = file != INVALID_HANDLE_VALUE &&
                     WriteFile(file, package.data(), DWORD(package.size()), &written, nullptr) &&
                     written == package.size();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!saved) return false;

  CefRefPtr<CefRequest> request = CefRequest::Create();
  std::string url = std::string("zip://") + kKey + "|";
  for (wchar_t c : path) url += char(c);  // the temporary folder's path is ASCII here
  request->SetURL(url + "|/pages/page0.html");
  std::vector<char> chunk(kChunk);
  const std::string sizeName = std::to_string(size / (1024 * 1024)) + "MiB";

  bool served = true;
  BF_KEY schedule;
  BF_set_key(&schedule, int(strlen(kKey)), reinterpret_cast<const unsigned char*>(kKey));
  double ours = 0, anchor = 0;
  Interleaved(
      9,
      [&] {
        CefRefPtr<client::ClientSchemeHandlerFactory> factory = new client::ClientSchemeHandlerFactory();
        served = Request(factory, request, &chunk) == entrySize && served;
      },
      [&] { served = LibraryColdLoad(path, schedule, entrySize) && served; }, &ours, &anchor);
  Report("cold-request-" + sizeName, ours * 1e3, anchor * 1e3, "ms", {false, 1.3});

  CefRefPtr<client::ClientSchemeHandlerFactory> factory = new client::ClientSchemeHandlerFactory();
  served = Request(factory, request, &chunk) == entrySize && served;
  // The anchor copies the cached bytes themselves, so both sides read and write the same
  // addresses (how the two buffers fall within their pages changes copy speeds from run to run).
  client::FileDecoder::DataBuffer cached;
  served = factory->GetEntryData(path, std::wstring(kKey, kKey + strlen(kKey)), L"pages/page0.html", &cached) &&
           cached.size == entrySize && served;
  const uint8_t* body = cached.data.get();
  const int kWarmRequests = 100;
  Interleaved(
      9,
      [&] {
        for (int i = 0; i < kWarmRequests; ++i) served = Request(factory, request, &chunk) == entrySize && served;
      },
      [&] {
        for (int i = 0; i < kWarmRequests; ++i) {
          for (size_t at = 0; at < entrySize; at += kChunk)
            memcpy(chunk.data(), body + at, std::min(kChunk, entrySize - at));
        }
      },
      &ours, &anchor);
  Report("warm-request-" + sizeName, ours * 1e6 / kWarmRequests, anchor * 1e6 / kWarmRequests, "us", {false, 2.0});
  DeleteFileW(path.c_str());
  return served;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) {
    if (atoi(argv[i]) > 0) sizes.push_back(size_t(atoi(argv[i])) * 1024 * 1024);
  }
  if (sizes.empty()) sizes = {4u << 20, 16u << 20};
  const size_t size = 16 * 1024 * 1024;
  const int rounds = 7;
  double ours = 0, anchor = 0;

  std::string data(size, '\0');
  uint32_t seed = 12345;
  for (char& c : data) {
    seed = seed * 1103515245u + 12345u;
    c = char(seed >> 24);
  }

  std::string text;
  if (!Base64Codec::EncodeString(&text, data)) return 1;
  std::vector<char> decoded(text.size() / 4 * 3 + 4);
  Interleaved(
      rounds, [&] { Base64Codec::Decode(decoded.data(), text.data(), int(text.size())); },
      [&] {
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()), Bytes(text), int(text.size()));
      },
      &ours, &anchor);
  Report("base64-decode", MegabytesPerSecond(text.size(), ours), MegabytesPerSecond(text.size(), anchor), "MiB/s",
         {true, 0.9});

  std::vector<uint8_t> out(size);
  BlowfishCipher cipher;
  if (!cipher.SetKey(Bytes(kKey), int(strlen(kKey)), BlowfishCipher::kModeEcb)) return 1;
  BF_KEY schedule;
  BF_set_key(&schedule, int(strlen(kKey)), Bytes(kKey));
  Interleaved(
      rounds, [&] { cipher.Decrypt(Bytes(data), out.data(), uint32_t(size)); },
      [&] {
        for (size_t i = 0; i < size; i += 8) BF_ecb_encrypt(Bytes(data) + i, out.data() + i, &schedule, BF_DECRYPT);
      },
      &ours, &anchor);
  Report("blowfish-decipher", MegabytesPerSecond(size, ours), MegabytesPerSecond(size, anchor), "MiB/s", {true, 0.9});

  // One deflated entry of compressible text.
  std::string page;
  while (page.size() < size) page += "<div class=\"row\"><span>brivelo</span><a href=\"#\">link</a></div>\n";
  page.resize(size);
  ZipBuildEntry entry;
  entry.name = "index.html";
  entry.data = page;
  const std::string zip = BuildZipArchive({entry});
  ZipArchive* archive = ZipArchive::OpenFromMemory(zip.data(), uint32_t(zip.size()));
  if (archive == nullptr) return 1;
  const size_t dataStart = 30 + entry.name.size();
  const size_t compressed = zip.find(std::string("PK\x01\x02", 4)) - dataStart;
  const uint32_t expectedCrc = Read32(Bytes(zip) + zip.find(std::string("PK\x01\x02", 4)) + 16);
  bool extracted = true;
  Interleaved(
      rounds, [&] { extracted = ZipArchive::ExtractToBuffer(archive, 0, out.data(), uint32_t(size)) && extracted; },
      [&] {
        z_stream stream;
        memset(&stream, 0, sizeof(stream));
        inflateInit2(&stream, -MAX_WBITS);
        stream.next_in = const_cast<Bytef*>(Bytes(zip) + dataStart);
        stream.avail_in = uInt(compressed);
        stream.next_out = out.data();
        stream.avail_out = uInt(size);
        extracted = inflate(&stream, Z_FINISH) == Z_STREAM_END && extracted;
        inflateEnd(&stream);
        extracted = crc32(crc32(0L, Z_NULL, 0), out.data(), uInt(size)) == expectedCrc && extracted;
      },
      &ours, &anchor);
  ZipArchive::Close(archive);
  Report("entry-inflate", MegabytesPerSecond(size, ours), MegabytesPerSecond(size, anchor), "MiB/s", {true, 0.9});
  if (!extracted) {
    printf("cipher: an entry did not extract\n");
    return 1;
  }

  for (size_t requestSize : sizes) {
    std::string pages = page;
    while (pages.size() < requestSize) pages += page;
    pages.resize(requestSize);
    if (!BenchRequests(pages, requestSize)) {
      printf("cipher: a package was not served\n");
      return 1;
    }
  }
  return 0;
}
