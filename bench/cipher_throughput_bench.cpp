// Throughput of the package path's hot loops beside the same work done by the libraries:
// Base64 decoding (OpenSSL EVP_DecodeBlock), Blowfish-ECB deciphering (OpenSSL BF_ecb_encrypt)
// and inflating a zip entry (zlib's inflate called directly; the reader also checks the CRC-32).
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
  return 0;
}
