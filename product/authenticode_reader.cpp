#include "product/authenticode_reader.h"

#include <openssl/sha.h>
#include <shlwapi.h>
#include <wintrust.h>

#include <cstring>
#include <new>
#include <unordered_set>

#include "base/log.h"
#include "base/string_cipher.h"

namespace {

const BYTE kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const BYTE kCommonNameOid[] = {0x55, 0x04, 0x03};
const BYTE kUnitNameOid[] = {0x55, 0x04, 0x0B};
const BYTE kTagOid = 0x06;
const BYTE kTagUtf8String = 12;
const BYTE kTagPrintableString = 19;
const BYTE kTagT61String = 20;
const BYTE kTagBmpString = 30;
const int kSignerNotFound = -102;
const int kCertificatesUnreadable = -103;

const DWORD kDescend = 0;
const DWORD kSkip = IASN1ParserCallback::kSkipItem;
const DWORD kEnd = IASN1ParserCallback::kEndWalk;

bool ContentIs(const BYTE* content, DWORD length, const BYTE* expected, DWORD expectedLength) {
  return length == expectedLength && memcmp(content, expected, length) == 0;
}

void AppendJoined(std::string& output, const std::string& text) {
  if (!output.empty()) output += ';';
  output += text;
}

// Reads exactly size bytes at the current position.
bool ReadExact(HANDLE file, void* buffer, DWORD size) {
  DWORD read = 0;
  return ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

}  // namespace

ASN1Parser::ASN1Parser(const BYTE* data, DWORD size, IASN1ParserCallback* callback)
    : m_pData(data), m_nSize(data ? size : 0), m_pCallback(callback), m_nPosition(0), m_nDepth(0),
      m_nOpenIndefinite(0), m_bEnded(false) {}

int ASN1Parser::Walk() {
  m_nPosition = 0;
  m_nDepth = 0;
  m_nOpenIndefinite = 0;
  m_bEnded = false;
  if (!m_pCallback) return 0;
  return WalkRange(0, m_nSize, 0);
}

int ASN1Parser::WalkRange(DWORD begin, DWORD end, int depth) {
  auto error = [&depth](int code) { return (depth << 16) | code; };
  if (depth > kMaxDepth) return error(kTooDeep);
  int open = 0;
  DWORD position = begin;
  while (position < end) {
    const DWORD itemStart = position;
    const BYTE tag = m_pData[position++];
    if (tag == 0 && open == 0) return 0;
    if (position >= end) return error(kNoLength);
    const BYTE lengthByte = m_pData[position++];
    DWORD length = 0;
    bool indefinite = false;
    if (lengthByte == 0x80) {
      indefinite = true;
    } else if (lengthByte == 0x81) {
      if (position >= end) return error(kShortLength1);
      length = m_pData[position++];
    } else if (lengthByte == 0x82) {
      if (end - position < 2) return error(kShortLength2);
      length = (DWORD(m_pData[position]) << 8) | m_pData[position + 1];
      position += 2;
    } else if (lengthByte & 0x80) {
      return error(kLengthForm);
    } else {
      length = lengthByte;
    }
    if (length > end - position) return error(kBeyondData);
    m_nPosition = position;
    m_nDepth = depth;
    const DWORD flags = m_pCallback->OnItem(depth, tag, length, m_pData + position, position - itemStart + length,
                                            m_pData + itemStart);
    if (flags & IASN1ParserCallback::kEndWalk) {
      m_bEnded = true;
      return (flags & 0xFFFF) ? error(int(flags & 0xFFFF)) : 0;
    }
    if (tag & 0x20) {
      if (indefinite) {
        ++depth;
        ++open;
        if (depth > kMaxDepth) return error(kTooDeep);
        continue;
      }
      if (!(flags & IASN1ParserCallback::kSkipItem)) {
        const int result = WalkRange(position, position + length, depth + 1);
        if (result || m_bEnded) return result;
      }
    } else if (tag == 0 && open > 0) {
      if (length != 0) return error(kBadEndOfContents);
      --depth;
      --open;
    }
    position += length;
  }
  return 0;
}

BOOL ASN1Parser::ReadByte(BYTE* value) {
  if (!value || m_nPosition >= m_nSize) return FALSE;
  *value = m_pData[m_nPosition++];
  return TRUE;
}

BOOL ASN1Parser::ReadByte(DWORD* value) {
  BYTE byte = 0;
  if (!value || !ReadByte(&byte)) return FALSE;
  *value = byte;
  return TRUE;
}

BOOL ASN1Parser::ReadWord(WORD* value) {
  if (!value || m_nSize - m_nPosition < 2 || m_nPosition >= m_nSize) return FALSE;
  *value = WORD(m_pData[m_nPosition] | (m_pData[m_nPosition + 1] << 8));
  m_nPosition += 2;
  return TRUE;
}

SignInfoCollecter::SignInfoCollecter()
    : m_nWalkState(0), m_nCertItem(0), m_bCaptureName(false), m_nSignerState(0), m_bSignerSeen(false),
      m_bTooMany(false) {}

DWORD SignInfoCollecter::OnItem(int depth, BYTE tag, DWORD length, const BYTE* content, DWORD itemLength,
                                const BYTE* item) {
  if (m_nWalkState == 0 && depth == 1) {
    if (tag == kTagOid && ContentIs(content, length, kSignedDataOid, sizeof(kSignedDataOid))) {
      m_nWalkState = 1;
      return kDescend;
    }
    return kEnd | 0x1001;
  }
  if (depth == 3) {
    switch (m_nWalkState) {
      case 4: m_nWalkState = 5; return kDescend;  // certificates
      case 5: m_nWalkState = 6; return kDescend;  // signer infos
      case 6: m_nWalkState = 7; return kEnd;
      default: ++m_nWalkState; return kSkip;      // version, digest algorithms, content
    }
  }
  if (m_nWalkState == 5) {
    if (depth == 4) {
      if (tag == 0) return kDescend;  // the end of an indefinite set, no certificate
      if (m_vecThumbprints.size() >= kMaxCertificates) {
        m_bTooMany = true;
        return kEnd | 0x1002;
      }
      OnCertificate(item, itemLength);
      return kDescend;
    }
    if (m_vecThumbprints.empty()) return kDescend;
    if (depth == 6) {
      ++m_nCertItem;
      if (m_nCertItem == 2) m_vecRawSerials.back().assign(reinterpret_cast<const char*>(content), length);
      if (m_nCertItem == 4) m_vecRawIssuers.back().assign(reinterpret_cast<const char*>(content), length);
    } else if (depth == 9 && (m_nCertItem == 4 || m_nCertItem == 6)) {
      if (m_bCaptureName) {
        OnNameValue(tag, content, length, m_nCertItem == 6);
        m_bCaptureName = false;
      } else if (tag == kTagOid && (ContentIs(content, length, kUnitNameOid, sizeof(kUnitNameOid)) ||
                                    ContentIs(content, length, kCommonNameOid, sizeof(kCommonNameOid)))) {
        m_bCaptureName = true;
      }
    }
    return kDescend;
  }
  if (m_nWalkState == 6 && depth >= 4) {
    if (depth == 4) {
      if (m_bSignerSeen) return kEnd;
      m_bSignerSeen = true;
      return kDescend;
    }
    if (m_nSignerState == 0 && depth == 5) {
      m_nSignerState = 1;
      return kSkip;
    }
    if (m_nSignerState == 1 && depth == 5) {
      m_nSignerState = 2;
      return kDescend;
    }
    if (m_nSignerState == 2 && depth == 6) {
      m_strSignerIssuer.assign(reinterpret_cast<const char*>(content), length);
      m_nSignerState = 3;
      return kSkip;
    }
    if (m_nSignerState == 3 && depth == 6) {
      m_strSignerSerial.assign(reinterpret_cast<const char*>(content), length);
      m_nSignerState = 4;
    }
    return kSkip;
  }
  return kDescend;
}

void SignInfoCollecter::OnCertificate(const BYTE* item, DWORD itemLength) {
  BYTE digest[SHA_DIGEST_LENGTH] = {};
  SHA1(item, itemLength, digest);
  char hex[SHA_DIGEST_LENGTH * 2 + 1] = {};
  static const char kDigits[] = "0123456789abcdef";
  for (int i = 0; i < SHA_DIGEST_LENGTH; ++i) {
    hex[2 * i] = kDigits[digest[i] >> 4];
    hex[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  m_vecThumbprints.push_back(hex);
  m_vecIssuerNames.emplace_back();
  m_vecSubjectNames.emplace_back();
  m_vecRawIssuers.emplace_back();
  m_vecRawSerials.emplace_back();
  m_nCertItem = 0;
  m_bCaptureName = false;
}

void SignInfoCollecter::OnNameValue(BYTE tag, const BYTE* content, DWORD length, bool subject) {
  std::string text;
  if (tag == kTagPrintableString || tag == kTagT61String || tag == kTagUtf8String) {
    text.assign(reinterpret_cast<const char*>(content), length);
  } else if (tag == kTagBmpString) {
    std::wstring wide;
    for (DWORD i = 0; i + 1 < length; i += 2) wide += wchar_t((content[i] << 8) | content[i + 1]);
    text = StringCipher::WideToCodePage(wide.c_str(), CP_UTF8);
  } else {
    return;
  }
  if (text.empty() || m_vecThumbprints.empty()) return;
  (subject ? m_vecSubjectNames : m_vecIssuerNames).back() = text;
}

int SignInfoCollecter::GetSignerInfo(std::string& subject, std::string& thumbprint, std::string& issuer) {
  subject.clear();
  thumbprint.clear();
  issuer.clear();
  if (m_bTooMany) return kCertificatesUnreadable;
  if (m_strSignerIssuer.empty() || m_strSignerSerial.empty()) return PickLeafCertificates(subject, thumbprint, issuer);
  for (size_t i = 0; i < m_vecThumbprints.size(); ++i) {
    if (m_vecRawIssuers[i] == m_strSignerIssuer && m_vecRawSerials[i] == m_strSignerSerial) {
      subject = m_vecSubjectNames[i];
      thumbprint = m_vecThumbprints[i];
      issuer = m_vecIssuerNames[i];
      return 0;
    }
  }
  return kSignerNotFound;
}

int SignInfoCollecter::PickLeafCertificates(std::string& subject, std::string& thumbprint, std::string& issuer) {
  // Every output is emptied, so no earlier text of the caller joins the answer.
  subject.clear();
  thumbprint.clear();
  issuer.clear();
  if (m_vecThumbprints.size() == 1) {
    subject = m_vecSubjectNames[0];
    thumbprint = m_vecThumbprints[0];
    issuer = m_vecIssuerNames[0];
    return 0;
  }
  // One look-up per certificate, not a pass over all issuers each time.
  const std::unordered_set<std::string> issuerNames(m_vecIssuerNames.begin(), m_vecIssuerNames.end());
  for (size_t i = 0; i < m_vecThumbprints.size(); ++i) {
    const std::string& name = m_vecSubjectNames[i];
    if (StrStrIA(name.c_str(), "time stamp")) continue;
    if (issuerNames.count(name) != 0) continue;
    AppendJoined(subject, name);
    AppendJoined(thumbprint, m_vecThumbprints[i]);
    AppendJoined(issuer, m_vecIssuerNames[i]);
  }
  return 0;
}

BOOL ReadPeCertificateTable(const wchar_t* path, std::string* table) {
  if (!path || !table) return FALSE;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  BOOL ok = FALSE;
  do {
    LARGE_INTEGER fileSize = {};
    if (!GetFileSizeEx(file, &fileSize) || fileSize.QuadPart == 0) break;
    IMAGE_DOS_HEADER dos = {};
    if (!ReadExact(file, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE) break;
    if (SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) break;
    // The optional header's magic tells the layouts apart, whatever the machine.
    BYTE headers[sizeof(IMAGE_NT_HEADERS64)] = {};
    if (!ReadExact(file, headers, sizeof(IMAGE_NT_HEADERS32))) break;
    const WORD magic = WORD(headers[24] | (headers[25] << 8));
    DWORD entryOffset = offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY]);
    if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
      if (SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) break;
      if (!ReadExact(file, headers, sizeof(IMAGE_NT_HEADERS64))) break;
      entryOffset = offsetof(IMAGE_NT_HEADERS64, OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY]);
    }
    IMAGE_DATA_DIRECTORY entry = {};
    memcpy(&entry, headers + entryOffset, sizeof(entry));
    const ULONGLONG end = ULONGLONG(entry.VirtualAddress) + entry.Size;
    if (entry.VirtualAddress == 0 || entry.Size == 0 || end > ULONGLONG(fileSize.QuadPart)) break;
    if (SetFilePointer(file, LONG(entry.VirtualAddress), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) break;
    std::string bytes;
    try {
      bytes.assign(entry.Size, '\0');
    } catch (const std::bad_alloc&) {
      LogErrorW(L"ReadPeCertificateTable, out of memory for a table of %u bytes", static_cast<unsigned>(entry.Size));
      break;
    }
    if (!ReadExact(file, &bytes[0], entry.Size)) break;
    table->swap(bytes);
    ok = TRUE;
  } while (false);
  CloseHandle(file);
  return ok;
}

int ParseSignedData(const BYTE* data, DWORD size, std::string& subject, std::string& thumbprint, std::string& issuer) {
  try {
    SignInfoCollecter collecter;
    ASN1Parser parser(data, size, &collecter);
    (void)parser.Walk();
    return collecter.GetSignerInfo(subject, thumbprint, issuer);
  } catch (const std::bad_alloc&) {
    LogErrorW(L"ParseSignedData, out of memory for a signature of %u bytes", static_cast<unsigned>(size));
    subject.clear();
    thumbprint.clear();
    issuer.clear();
    return kCertificatesUnreadable;
  }
}

int ReadFileSignInfo(const wchar_t* path, std::string& subject, std::string& thumbprint, std::string& issuer) {
  std::string table;
  if (!ReadPeCertificateTable(path, &table)) return -1;
  if (table.size() < 9) return -2;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(table.data());
  const DWORD entryLength = DWORD(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (DWORD(bytes[3]) << 24));
  const WORD revision = WORD(bytes[4] | (bytes[5] << 8));
  const WORD type = WORD(bytes[6] | (bytes[7] << 8));
  if (revision != WIN_CERT_REVISION_2_0 || type != WIN_CERT_TYPE_PKCS_SIGNED_DATA) return -3;
  // The entry length counts its 8-byte header.
  DWORD size = DWORD(table.size() - 8);
  if (entryLength >= 8 && entryLength - 8 < size) size = entryLength - 8;
  if (entryLength < 8) size = 0;
  return ParseSignedData(bytes + 8, size, subject, thumbprint, issuer);
}
