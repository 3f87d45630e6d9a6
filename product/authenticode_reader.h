// Reads the signer of a PE file straight from its certificate table, without the trust
// provider: the first WIN_CERTIFICATE entry (revision 0x0200, PKCS#7 SignedData) is walked with
// a small DER walker, every certificate's SHA-1 thumbprint and issuer/subject name texts are
// collected, and the signing certificate is picked. Nothing is verified: no signature, no digest,
// no chain. Use it to name a signer, never to trust one.
//
// Contracts: no shared state, any thread; nothing logs but a failed allocation; malformed input
// gives error results or empty outputs, never a read outside the given bytes, never an exception.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Reported for every DER item the walker meets. The answer is a set of flags:
// kEndWalk ends the walk (low 16 bits: 0 for a normal end, else an error code);
// kSkipItem keeps the walker out of a constructed item.
class IASN1ParserCallback {
 public:
  static const DWORD kEndWalk = 0x10000;
  static const DWORD kSkipItem = 0x20000;
  // content points at length bytes inside the walked data; item at the tag byte, itemLength
  // bytes long. Both stay valid for the walk only.
  virtual DWORD OnItem(int depth, BYTE tag, DWORD length, const BYTE* content, DWORD itemLength,
                       const BYTE* item) = 0;

 protected:
  ~IASN1ParserCallback() = default;
};

// DER walker over borrowed bytes (definite lengths of up to two length bytes, and indefinite
// lengths closed by end-of-contents items).
class ASN1Parser {
 public:
  // Errors (low 16 bits of a walk result; the high bits hold the depth).
  enum Error { kNoLength = 2, kLengthForm = 3, kShortLength2 = 4, kBeyondData = 5, kShortLength1 = 6,
               kBadEndOfContents = 7, kTooDeep = 8 };
  static const int kMaxDepth = 64;

  ASN1Parser(const BYTE* data, DWORD size, IASN1ParserCallback* callback);
  // 0, or (depth << 16) | error.
  int Walk();
  // Cursor readers over the bytes; FALSE at their end.
  BOOL ReadByte(BYTE* value);
  BOOL ReadByte(DWORD* value);
  BOOL ReadWord(WORD* value);

 private:
  int WalkRange(DWORD begin, DWORD end, int depth);

  const BYTE* m_pData;
  DWORD m_nSize;
  IASN1ParserCallback* m_pCallback;
  DWORD m_nPosition;
  int m_nDepth;
  int m_nOpenIndefinite;
  bool m_bEnded;  // the callback ended the walk: no enclosing level goes on
};

// Collects the certificates and the first SignerInfo of a SignedData blob.
class SignInfoCollecter : public IASN1ParserCallback {
 public:
  // A real certificate table holds a handful (signer, chain, time stamper); a blob with more is
  // refused rather than collected, which bounds the memory and work a planted file can cost.
  static const size_t kMaxCertificates = 1024;

  SignInfoCollecter();
  DWORD OnItem(int depth, BYTE tag, DWORD length, const BYTE* content, DWORD itemLength, const BYTE* item) override;
  void OnCertificate(const BYTE* item, DWORD itemLength);
  void OnNameValue(BYTE tag, const BYTE* content, DWORD length, bool subject);
  // 0 with the signer's subject name, thumbprint and issuer name; -102 when the SignerInfo names
  // no collected certificate; -103 when the blob holds more than kMaxCertificates certificates.
  // The outputs are emptied first.
  int GetSignerInfo(std::string& subject, std::string& thumbprint, std::string& issuer);
  // Without a SignerInfo: the single certificate, or every certificate that issued none and is no
  // time-stamping one, joined by ";".
  int PickLeafCertificates(std::string& subject, std::string& thumbprint, std::string& issuer);

 private:
  int m_nWalkState;
  int m_nCertItem;
  bool m_bCaptureName;
  int m_nSignerState;
  bool m_bSignerSeen;
  bool m_bTooMany;
  std::vector<std::string> m_vecIssuerNames;
  std::vector<std::string> m_vecSubjectNames;
  std::vector<std::string> m_vecThumbprints;
  std::vector<std::string> m_vecRawIssuers;
  std::vector<std::string> m_vecRawSerials;
  std::string m_strSignerIssuer;
  std::string m_strSignerSerial;
};

// The bytes of the file's certificate table; FALSE when there is none or it cannot be read.
[[nodiscard]] BOOL ReadPeCertificateTable(const wchar_t* path, std::string* table);
// Signer of a DER SignedData blob: the result of SignInfoCollecter::GetSignerInfo, or -103 (logged)
// when memory for the certificates runs out. Never throws.
int ParseSignedData(const BYTE* data, DWORD size, std::string& subject, std::string& thumbprint, std::string& issuer);
// 0 on success; -1 no readable certificate table (or no memory for it, logged); -2 a table under 9 bytes; -3 not revision
// 0x0200 of type 2; else ParseSignedData's result. Outputs are UTF-8 (subject and issuer names)
// and 40 lower-case hexadecimal digits (thumbprint), several joined by ";".
int ReadFileSignInfo(const wchar_t* path, std::string& subject, std::string& thumbprint, std::string& issuer);
