// brivelo_pkgmaker: makes packages for the "zip" URL scheme and the constants that go with them.
//
//   brivelo_pkgmaker pack --key KEY [--sign PRIVATE.pem] --out PACKAGE INPUT...
//       INPUT is a file (stored under its file name) or a folder (its files stored under their
//       paths below it, "/"-separated). With --sign the package is signed; request it with the
//       key "rsa_" + KEY.
//   brivelo_pkgmaker embed-key PUBLIC.pem [--cipher-key HEX32]
//       Prints the enciphered constant of a PKCS#1 PEM public key for embedding in the program
//       (default cipher key: the program's own).
//   brivelo_pkgmaker genkey BITS PRIVATE.pem PUBLIC.pem
//       Writes a new signing key pair.

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/embedded_key.h"
#include "base/rsa_cipher.h"
#include "base/string_cipher.h"
#include "tools/pkgmaker/package_builder.h"
#include "tools/pkgmaker/zip_builder.h"

namespace {

// Inputs larger than this are refused (the archive format is 32-bit).
constexpr LONGLONG kMaxInputFile = 0x40000000;

void Fail(const std::string& message) {
  fprintf(stderr, "brivelo_pkgmaker: %s\n", message.c_str());
}

std::string Utf8(const std::wstring& text) {
  return StringCipher::WideToCodePage(text.c_str(), CP_UTF8);
}

bool ReadWholeFile(const std::wstring& path, std::string* out) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxInputFile;
  if (ok) {
    out->assign(size_t(size.QuadPart), '\0');
    DWORD read = 0;
    ok = size.QuadPart == 0 ||
         (ReadFile(file, &(*out)[0], DWORD(size.QuadPart), &read, nullptr) && read == DWORD(size.QuadPart));
  }
  CloseHandle(file);
  return ok;
}

bool AddFolder(const std::wstring& folder, const std::string& prefix, std::vector<ZipBuildEntry>* entries) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const std::string stored = prefix + Utf8(name);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = AddFolder(path, stored + "/", entries);
    } else {
      ZipBuildEntry entry;
      entry.name = stored;
      ok = ReadWholeFile(path, &entry.data);
      if (!ok) Fail("cannot read " + Utf8(path));
      entries->push_back(std::move(entry));
    }
  } while (ok && FindNextFileW(find, &found));
  FindClose(find);
  return ok;
}

bool AddInput(const std::wstring& input, std::vector<ZipBuildEntry>* entries) {
  const DWORD attributes = GetFileAttributesW(input.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    Fail("no such file or folder: " + Utf8(input));
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return AddFolder(input, std::string(), entries);
  ZipBuildEntry entry;
  const size_t slash = input.find_last_of(L"/\\");
  entry.name = Utf8(slash == std::wstring::npos ? input : input.substr(slash + 1));
  if (!ReadWholeFile(input, &entry.data)) {
    Fail("cannot read " + Utf8(input));
    return false;
  }
  entries->push_back(std::move(entry));
  return true;
}

int Pack(const std::vector<std::wstring>& args) {
  std::wstring key, signer, out;
  std::vector<std::wstring> inputs;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--key" && i + 1 < args.size()) {
      key = args[++i];
    } else if (args[i] == L"--sign" && i + 1 < args.size()) {
      signer = args[++i];
    } else if (args[i] == L"--out" && i + 1 < args.size()) {
      out = args[++i];
    } else {
      inputs.push_back(args[i]);
    }
  }
  if (key.empty() || out.empty() || inputs.empty()) {
    Fail("pack needs --key, --out and at least one input");
    return 2;
  }
  std::vector<ZipBuildEntry> entries;
  for (const std::wstring& input : inputs) {
    if (!AddInput(input, &entries)) return 1;
  }
  if (entries.empty()) {
    Fail("nothing to pack");
    return 1;
  }
  const std::string archive = BuildZipArchive(entries);
  if (archive.empty()) {
    Fail("cannot build the archive");
    return 1;
  }
  std::string package;
  if (signer.empty()) {
    if (!BuildPlainPackage(archive, Utf8(key), &package)) {
      Fail("cannot encipher the archive");
      return 1;
    }
  } else {
    std::string pem;
    if (!ReadWholeFile(signer, &pem)) {
      Fail("cannot read the private key " + Utf8(signer));
      return 1;
    }
    if (!BuildSignedPackage(archive, Utf8(key), pem, &package)) {
      Fail("cannot sign with " + Utf8(signer));
      return 1;
    }
  }
  if (!StringCipher::WriteFileData(out.c_str(), package)) {
    Fail("cannot write " + Utf8(out));
    return 1;
  }
  return 0;
}

int EmbedKey(const std::vector<std::wstring>& args) {
  std::wstring pemPath;
  std::wstring cipherKey = kEmbeddedCipherKey;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--cipher-key" && i + 1 < args.size()) {
      cipherKey = args[++i];
    } else {
      pemPath = args[i];
    }
  }
  std::string pem;
  if (pemPath.empty() || !ReadWholeFile(pemPath, &pem)) {
    Fail("embed-key needs a readable PEM public key");
    return 2;
  }
  std::string check;
  if (!RsaCipher::PublicEncrypt("x", &check, pem)) {
    Fail("not a usable PKCS#1 RSA public key (\"RSA PUBLIC KEY\", at most 2048 bits)");
    return 1;
  }
  std::string constant;
  if (!StringCipher::EncryptData(pem, Utf8(cipherKey), &constant)) {
    Fail("cannot encipher the key");
    return 1;
  }
  printf("%s\n", constant.c_str());
  return 0;
}

int GenerateKey(const std::vector<std::wstring>& args) {
  if (args.size() != 3) {
    Fail("genkey needs BITS PRIVATE.pem PUBLIC.pem");
    return 2;
  }
  std::string privateKey, publicKey;
  if (!RsaCipher::GenerateKeyPair(_wtoi(args[0].c_str()), &privateKey, &publicKey) ||
      !StringCipher::WriteFileData(args[1].c_str(), privateKey) ||
      !StringCipher::WriteFileData(args[2].c_str(), publicKey)) {
    Fail("cannot generate or write the key pair");
    return 1;
  }
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return 2;
  std::vector<std::wstring> args(argv + (count > 1 ? 2 : count), argv + count);
  const std::wstring command = count > 1 ? argv[1] : L"";
  LocalFree(argv);

  if (command == L"pack") return Pack(args);
  if (command == L"embed-key") return EmbedKey(args);
  if (command == L"genkey") return GenerateKey(args);
  fputs("usage: brivelo_pkgmaker pack --key KEY [--sign PRIVATE.pem] --out PACKAGE INPUT...\n"
        "       brivelo_pkgmaker embed-key PUBLIC.pem [--cipher-key HEX32]\n"
        "       brivelo_pkgmaker genkey BITS PRIVATE.pem PUBLIC.pem\n",
        stderr);
  return 2;
}
