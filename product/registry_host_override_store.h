// Names mapped to host texts from the registry, and the rewrite of a URL's host by such an entry.
//
// The statistics own one store each. Filling it reads HKEY_LOCAL_MACHINE in the 64-bit view: a
// flag "oem_f" and a key whose values map enciphered names to enciphered host texts. The key
// paths and the key text are product data (see HostOverrideKeys).
//
// Contracts: no lock of its own (the owner serialises fill and use); nothing is logged; a key or
// value that cannot be read leaves the flag at 0 or the entry out.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "compat/atlstr.h"

struct RegistryHostOverrideRecord {
  std::wstring m_strProduct;
  // Exact code-unit order: names that differ in letter case are different entries.
  std::map<std::wstring, std::wstring> m_mapEntries;
  std::wstring m_strKeyPath;
  DWORD m_nOemFlag = 0;
};

// Where the store reads; texts marked enciphered are Base64 of the string cipher under keyText.
struct HostOverrideKeys {
  std::wstring keyText;             // a GUID without braces
  std::wstring morvaneFlagKey;      // plain: "SOFTWARE\Morvane"
  std::wstring pelmaFlagKeyCipher;  // enciphered key path holding "oem_f" for "pelma"
  std::wstring morvaneKeyCipher;    // enciphered key path of the entries for "morvane"
  std::wstring pelmaKeyCipher;      // enciphered key path of the entries for "pelma"
};

// The keys of the product build. Replace them only while no store is being filled.
HostOverrideKeys GetHostOverrideKeys();
// Returns the previous keys.
HostOverrideKeys SetHostOverrideKeys(const HostOverrideKeys& keys);

// url with its host text (after "://" up to the next '/', without a ":port") replaced by newHost;
// url unchanged when it has no host text. Only that host component changes: the same text in the
// path or the query stays.
ATL::CStringW ReplaceUrlHost(const ATL::CStringW& url, const ATL::CStringW& newHost);

// The "oem_f" flag under HKEY_LOCAL_MACHINE\flagKey (64-bit view): 1 when it reads "1" in any
// letter case, else 0.
DWORD ReadOemFlag(const wchar_t* flagKey);
// Every text value of HKEY_LOCAL_MACHINE\keyPath (64-bit view), name and text deciphered under
// keyText, into entries; pairs that decipher to an empty text are skipped, later names replace.
void LoadOverrideEntries(const wchar_t* keyPath, const ATL::CStringW& keyText,
                         std::map<std::wstring, std::wstring>* entries);

class RegistryHostOverrideStore {
 public:
  // Allocates an empty record; without memory the handle stays empty and acts as a store
  // without entries.
  RegistryHostOverrideStore();
  // Does not free the record: Release does.
  ~RegistryHostOverrideStore() = default;
  RegistryHostOverrideStore(const RegistryHostOverrideStore&) = delete;
  RegistryHostOverrideStore& operator=(const RegistryHostOverrideStore&) = delete;

  // url unchanged unless the flag is 1 and an entry has exactly this name.
  ATL::CStringW RewriteUrl(const ATL::CStringW& name, const ATL::CStringW& url) const;
  // Fills for the current product levelsUp folders above the executable. FALSE for an empty
  // handle or when the product has no key path.
  [[nodiscard]] BOOL LoadForProductLevel(int levelsUp);
  [[nodiscard]] BOOL LoadForProduct(const ATL::CStringW& product);
  // Destroys the record; the handle is empty afterwards.
  void Release();

  // The record, or null for an empty handle. Valid until Release.
  RegistryHostOverrideRecord* Record() const { return m_pRecord; }

 private:
  RegistryHostOverrideRecord* m_pRecord;
};
