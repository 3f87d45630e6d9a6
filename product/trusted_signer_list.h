// The machine-wide list of trusted signer display names beyond the built-in digests. It lives in
// three places, asked in this order: the named section "CheckSignShareMem" that the running
// processes of the product family share, the registry values "CSVer"/"CSList" under
// HKLM "SOFTWARE\Harnstave", and a document downloaded from the product value "update_sign_url".
// A lower place that lists the name republishes the list to the places above it.
//
// Formats (shared with the other processes of the product family, so they must not change):
// - Section: paging-file backed, 0x500000 bytes, PAGE_EXECUTE_READWRITE, no namespace prefix.
//   Offset 0: int32 LE byte count N (N <= 0: no text); offset 4: N bytes of compact UTF-8 JSON
//   {"CSList":"<array text>","CSVer":"<version>","CheckFailCnt":<n>}, keys in this order, no
//   terminator. "CSList" holds the array's compact JSON text as a string.
// - Registry: "CSVer" plain REG_SZ; "CSList" REG_SZ of StringCipher::EncryptString(array text,
//   kEmbeddedCipherKey). The key is never created here.
// - Download: Base64 of Blowfish-ECB under kEmbeddedCipherKey of UTF-8 JSON
//   {"CSVer": <text, number or bool>, "CSList": ["Name", ...]}.
//
// Matching compares names without regard to the case of the letters A to Z. Only non-empty
// string elements can match, and an empty name is never trusted.
//
// Contracts:
// - Nothing here logs (the list is asked while the main log is being set up); every failure is
//   a FALSE or empty result.
// - One object per check, used by one thread. Nothing is locked: the section is read and written
//   without synchronisation between processes; a text that does not parse counts as no list.
// - A handle to the section that an object opened or created is never closed, so the list stays
//   published while this process runs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "compat/atlstr.h"

// Where a list lives. Tests point it at private names so that parallel runs do not meet.
struct TrustedSignerStore {
  std::wstring sectionName;
  DWORD sectionSize;
  HKEY registryRoot;
  std::wstring registryKey;
  // Address of the downloadable list; "" when there is none.
  std::function<std::wstring()> listAddress;
};

// The product family's places: "CheckSignShareMem", HKLM "SOFTWARE\Harnstave", and the value
// "update_sign_url" of the process-wide product information.
TrustedSignerStore DefaultTrustedSignerStore();

// True when both names are equal except for the case of the letters A to Z.
bool SignerNamesEqual(const wchar_t* a, const wchar_t* b);

class TrustedSignerList {
 public:
  explicit TrustedSignerList(TrustedSignerStore store = DefaultTrustedSignerStore());
  TrustedSignerList(const TrustedSignerList&) = delete;
  TrustedSignerList& operator=(const TrustedSignerList&) = delete;

  // TRUE when one of the three places lists the name (null or empty: FALSE).
  [[nodiscard]] BOOL Check(const wchar_t* name);

  // The three places; each compares with the name that Check was given.
  [[nodiscard]] BOOL CheckSharedMemory();
  [[nodiscard]] BOOL CheckRegistry();
  // Downloads the list unless "CheckFailCnt" of the section is above 5; a miss raises it.
  [[nodiscard]] BOOL RefreshTrustedSignerList();

  // TRUE when the JSON array text holds the name as a string element.
  [[nodiscard]] BOOL MatchNames(const std::string& listText) const;
  // The section's text, "" when there is none or its length field does not fit the section.
  std::string ReadSharedMemory();
  // Creates the section when needed; FALSE for an empty text or one too long for the section.
  [[nodiscard]] BOOL WriteSharedMemory(const std::string& text);
  // Raises "CheckFailCnt" by one while the section holds a JSON object.
  void IncrementFailCount();
  // "CheckFailCnt" of the section, 0 without one.
  int ReadFailCount();

 private:
  // Serializes {"CSList": list, "CSVer": version, "CheckFailCnt": 0} into the section.
  void Publish(const std::string& version, const std::string& listText);

  TrustedSignerStore m_store;
  HANDLE m_hMapping;
  ATL::CStringW m_strName;
};

// The value's text up to its first zero unit (any value type), "" on any failure. Opens the key
// for reading only.
ATL::CStringW ReadRegistryText(HKEY root, const ATL::CStringW& subkey, const wchar_t* valueName);
// Writes a REG_SZ value into an existing key (never created); TRUE when written.
[[nodiscard]] BOOL WriteRegistryText(HKEY root, const ATL::CStringW& subkey, const wchar_t* valueName,
                                     const wchar_t* text);
