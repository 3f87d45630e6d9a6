// Small DER builders for signature test data: definite lengths of up to two bytes, as the
// signature reader accepts.
#pragma once

#include <string>

namespace der {

using Bytes = std::string;

inline Bytes Tlv(unsigned char tag, const Bytes& content) {
  Bytes item(1, char(tag));
  if (content.size() < 0x80) {
    item += char(content.size());
  } else if (content.size() < 0x100) {
    item += char(0x81);
    item += char(content.size());
  } else {
    item += char(0x82);
    item += char(content.size() >> 8);
    item += char(content.size() & 0xFF);
  }
  return item + content;
}
inline Bytes Seq(const Bytes& content) { return Tlv(0x30, content); }
inline Bytes Set(const Bytes& content) { return Tlv(0x31, content); }
inline Bytes Oid(const Bytes& content) { return Tlv(0x06, content); }
inline Bytes Int(unsigned char value) { return Tlv(0x02, Bytes(1, char(value))); }

const Bytes kCnOid("\x55\x04\x03", 3);
const Bytes kOuOid("\x55\x04\x0B", 3);
const Bytes kSignedDataOid("\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 9);

inline Bytes Rdn(const Bytes& oid, const Bytes& value) { return Set(Seq(Oid(oid) + value)); }
// A name of an optional organisational unit and a common name.
inline Bytes Name(const std::string& unit, const std::string& common) {
  Bytes name;
  if (!unit.empty()) name += Rdn(kOuOid, Tlv(19, unit));
  name += Rdn(kCnOid, Tlv(12, common));
  return Seq(name);
}
inline Bytes Certificate(unsigned char serial, const Bytes& issuer, const Bytes& subject) {
  Bytes tbs = Tlv(0xA0, Int(2)) + Int(serial) + Seq(Oid("\x2A\x03")) + issuer + Seq(Bytes()) + subject;
  return Seq(Seq(tbs) + Seq(Oid("\x2A\x03")) + Tlv(0x03, Bytes(3, '\0')));
}
inline Bytes SignerInfo(const Bytes& issuer, unsigned char serial) {
  return Seq(Int(1) + Seq(issuer + Int(serial)) + Seq(Bytes()));
}
inline Bytes SignedData(const Bytes& certificates, const Bytes& signerInfos) {
  Bytes body = Int(1) + Set(Bytes()) + Seq(Oid("\x2A\x03")) + Tlv(0xA0, certificates) + Set(signerInfos);
  return Seq(Oid(kSignedDataOid) + Tlv(0xA0, Seq(body)));
}

// SignedData whose certificate set holds `count` empty certificates, every level of indefinite
// length: 2 bytes a certificate, so a planted file of some kilobytes holds thousands of them.
inline Bytes TinyCertificates(size_t count, const Bytes& signerInfo) {
  Bytes blob("\x30\x80", 2);
  blob += Oid(kSignedDataOid);
  blob += Bytes("\xA0\x80\x30\x80", 4) + Int(1) + Set(Bytes()) + Seq(Bytes());
  blob += Bytes("\xA0\x80", 2);
  for (size_t i = 0; i < count; ++i) blob += Bytes("\x30\x00", 2);
  blob += Bytes("\x00\x00", 2);
  blob += Set(signerInfo);
  blob += Bytes(6, '\0');  // closes the body, [0] and the outer sequence
  return blob;
}

}  // namespace der
