// Throughput of the package path's hot loops beside the same work done by the libraries:
// Base64 decoding (OpenSSL EVP_DecodeBlock), Blowfish-ECB deciphering (OpenSSL BF_ecb_encrypt)
// and inflating a zip entry (zlib's inflate called directly; the reader also checks the CRC-32).
// Then whole "zip" URL requests: a cold one (the scheme factory reads, deciphers and extracts the
// package) against reading the same file and running EVP_DecodeBlock, BF_ecb_encrypt, inflate and
// crc32 over it directly, and warm ones (served from the factory's cache).
// Run: brivelo_cipher_bench.exe [MiB]

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

template <typename Work>
double MegabytesPerSecond(size_t bytes, int rounds, Work work) {
  work();  // warm up
  const double start = Seconds();
  for (int i = 0; i < rounds; ++i) work();
  const double elapsed = Seconds() - start;
  return elapsed > 0 ? double(bytes) * rounds / (1024.0 * 1024.0) / elapsed : 0.0;
}

void Report(const char* what, double ours, double reference, const char* referenceName) {
  printf("%-22s %9.1f MiB/s   %-18s %9.1f MiB/s   ratio %.2f\n", what, ours, referenceName, reference,
         reference > 0 ? ours / reference : 0.0);
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

// Cold and warm requests of one entry of a package holding `size` bytes of pages in 8 deflated
// entries; the reference does the cold request's cipher and inflate work with the libraries.
bool BenchRequests(const std::string& page, size_t size) {
  const int kEntries = 8;
  const size_t entrySize = size / kEntries;
  std::vector<ZipBuildEntry> entries(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    entries[i].name = "pages/page" + std::to_string(i) + ".html";
    entries[i].data = page.substr(size_t(i) * entrySize, entrySize);
  }
  const std::string zip = BuildZipArchive(entries);
  const std::string key = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
  std::string package;
  if (zip.empty() || !BuildPlainPackage(zip, key, &package)) return false;
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
  std::string url = "zip://" + key + "|";
  for (wchar_t c : path) url += char(c);  // the temporary folder's path is ASCII here
  request->SetURL(url + "|/pages/page0.html");
  std::vector<char> chunk(64 * 1024);

  const int coldRounds = 5;
  bool served = true;
  const double coldStart = Seconds();
  for (int i = 0; i < coldRounds; ++i) {
    CefRefPtr<client::ClientSchemeHandlerFactory> factory = new client::ClientSchemeHandlerFactory();
    served = served && Request(factory, request, &chunk) == entrySize;
  }
  const double cold = (Seconds() - coldStart) / coldRounds;

  // The same work with the libraries: read, Base64, Blowfish-ECB, inflate and CRC-32 of every entry.
  std::vector<unsigned char> decoded(package.size() / 4 * 3 + 4);
  std::vector<unsigned char> plain(decoded.size());
  std::vector<unsigned char> inflated(entrySize);
  BF_KEY schedule;
  BF_set_key(&schedule, int(key.size()), reinterpret_cast<const unsigned char*>(key.data()));
  const double referenceStart = Seconds();
  for (int i = 0; i < coldRounds; ++i) {
    const std::string text = ReadWholeFile(path);
    const int length = EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    for (int at = 0; at + 8 <= length; at += 8) BF_ecb_encrypt(decoded.data() + at, plain.data() + at, &schedule, BF_DECRYPT);
    size_t local = 0;
    for (int e = 0; e < kEntries; ++e) {
      const unsigned char* header = plain.data() + local;
      const uint32_t compressed = header[18] | header[19] << 8 | header[20] << 16 | uint32_t(header[21]) << 24;
      const size_t data = local + 30 + (header[26] | header[27] << 8) + (header[28] | header[29] << 8);
      z_stream stream;
      memset(&stream, 0, sizeof(stream));
      inflateInit2(&stream, -MAX_WBITS);
      stream.next_in = plain.data() + data;
      stream.avail_in = uInt(compressed);
      stream.next_out = inflated.data();
      stream.avail_out = uInt(inflated.size());
      served = served && inflate(&stream, Z_FINISH) == Z_STREAM_END;
      inflateEnd(&stream);
      served = served && crc32(crc32(0L, Z_NULL, 0), inflated.data(), uInt(inflated.size())) ==
                             (header[14] | header[15] << 8 | header[16] << 16 | uLong(header[17]) << 24);
      local = data + compressed;
    }
  }
  const double reference = (Seconds() - referenceStart) / coldRounds;
  printf("%-22s %9.1f ms        %-18s %9.1f ms        ratio %.2f\n", "Cold zip request", cold * 1000,
         "same via libraries", reference * 1000, reference > 0 ? cold / reference : 0.0);

  CefRefPtr<client::ClientSchemeHandlerFactory> factory = new client::ClientSchemeHandlerFactory();
  served = served && Request(factory, request, &chunk) == entrySize;
  const int warmRounds = 200;
  const double warmStart = Seconds();
  for (int i = 0; i < warmRounds; ++i) served = served && Request(factory, request, &chunk) == entrySize;
  const double warm = (Seconds() - warmStart) / warmRounds;
  printf("%-22s %9.1f us        %9.1f MiB/s of entry body\n", "Warm zip request", warm * 1e6,
         warm > 0 ? double(entrySize) / (1024.0 * 1024.0) / warm : 0.0);
  DeleteFileW(path.c_str());
  return served;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? size_t(atoi(argv[1])) : 16;
  const size_t size = (megabytes ? megabytes : 16) * 1024 * 1024;
  const int rounds = 5;

  std::string data(size, '\0');
  uint32_t seed = 12345;
  for (char& c : data) {
    seed = seed * 1103515245u + 12345u;
    c = char(seed >> 24);
  }

  // Base64 decode.
  std::string text;
  if (!Base64Codec::EncodeString(&text, data)) return 1;
  std::vector<char> decoded(text.size() / 4 * 3 + 4);
  const double oursBase64 = MegabytesPerSecond(text.size(), rounds, [&] {
    Base64Codec::Decode(decoded.data(), text.data(), int(text.size()));
  });
  const double sslBase64 = MegabytesPerSecond(text.size(), rounds, [&] {
    EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                    reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
  });
  Report("Base64 decode", oursBase64, sslBase64, "EVP_DecodeBlock");

  // Blowfish-ECB decipher, 36-byte key as the program's keys.
  const std::string key = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
  std::vector<uint8_t> out(size);
  BlowfishCipher cipher;
  if (!cipher.SetKey(reinterpret_cast<const uint8_t*>(key.data()), int(key.size()), BlowfishCipher::kModeEcb)) return 1;
  const double oursBlowfish = MegabytesPerSecond(size, rounds, [&] {
    cipher.Decrypt(reinterpret_cast<const uint8_t*>(data.data()), out.data(), uint32_t(size));
  });
  BF_KEY schedule;
  BF_set_key(&schedule, int(key.size()), reinterpret_cast<const unsigned char*>(key.data()));
  const double sslBlowfish = MegabytesPerSecond(size, rounds, [&] {
    for (size_t i = 0; i < size; i += 8) {
      BF_ecb_encrypt(reinterpret_cast<const unsigned char*>(data.data()) + i, out.data() + i, &schedule, BF_DECRYPT);
    }
  });
  Report("Blowfish-ECB decipher", oursBlowfish, sslBlowfish, "BF_ecb_encrypt");

  // Inflate of one deflated entry of compressible text.
  std::string page;
  while (page.size() < size) page += "<div class=\"row\"><span>brivelo</span><a href=\"#\">link</a></div>\n";
  page.resize(size);
  ZipBuildEntry entry;
  entry.name = "index.html";
  entry.data = page;
  const std::string zip = BuildZipArchive({entry});
  ZipArchive* archive = ZipArchive::OpenFromMemory(zip.data(), uint32_t(zip.size()));
  if (archive == nullptr) return 1;
  const double oursInflate = MegabytesPerSecond(size, rounds, [&] {
    if (!ZipArchive::ExtractToBuffer(archive, 0, out.data(), uint32_t(size))) abort();
  });
  const size_t dataStart = 30 + entry.name.size();
  const size_t compressed = zip.find(std::string("PK\x01\x02", 4)) - dataStart;
  const double zlibInflate = MegabytesPerSecond(size, rounds, [&] {
    z_stream stream;
    memset(&stream, 0, sizeof(stream));
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + dataStart));
    stream.avail_in = uInt(compressed);
    stream.next_out = out.data();
    stream.avail_out = uInt(size);
    inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
  });
  Report("Zip entry inflate", oursInflate, zlibInflate, "zlib inflate");
  ZipArchive::Close(archive);

  if (!BenchRequests(page, size)) {
    printf("zip requests: a package was not served\n");
    return 1;
  }
  return 0;
}
