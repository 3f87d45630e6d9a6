#include "tools/pkgmaker/zip_builder.h"

#include <zlib.h>

#include <cstring>

namespace {

void Put16(std::string* out, uint32_t value) {
  out->push_back(char(value & 0xFF));
  out->push_back(char((value >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// The fields that local header and central record share, from "version needed" to the extra
// field's length (no extra field is written).
void PutEntryFields(std::string* out, const ZipBuildEntry& entry, uint16_t method, uint32_t crc, uint32_t stored) {
  Put16(out, 20);  // version needed
  Put16(out, entry.flags);
  Put16(out, method);
  Put16(out, entry.dosTime);
  Put16(out, entry.dosDate);
  Put32(out, crc);
  Put32(out, stored);
  Put32(out, uint32_t(entry.data.size()));
  Put16(out, uint32_t(entry.name.size()));
  Put16(out, 0);
}

bool RawDeflate(const std::string& in, std::string* out) {
  z_stream stream;
  memset(&stream, 0, sizeof(stream));
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out->assign(deflateBound(&stream, uLong(in.size())) + 16, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = uInt(in.size());
  stream.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
  stream.avail_out = uInt(out->size());
  const int result = deflate(&stream, Z_FINISH);
  out->resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

}  // namespace

std::string BuildZipArchive(const std::vector<ZipBuildEntry>& entries, const std::string& comment) {
  std::string archive;
  std::string central;
  for (const ZipBuildEntry& entry : entries) {
    const uint32_t crc = uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(entry.data.data()),
                                        uInt(entry.data.size())));
    std::string payload;
    uint16_t method = 0;
    if (entry.methodOverride >= 0) {
      payload = entry.data;
      method = uint16_t(entry.methodOverride);
    } else if (entry.deflate) {
      if (!RawDeflate(entry.data, &payload)) return std::string();
      method = 8;
    } else {
      payload = entry.data;
    }

    const uint32_t localOffset = uint32_t(archive.size());
    Put32(&archive, 0x04034B50);
    PutEntryFields(&archive, entry, method, crc, uint32_t(payload.size()));
    archive += entry.name;
    archive += payload;

    Put32(&central, 0x02014B50);
    Put16(&central, 20);  // version made by
    PutEntryFields(&central, entry, method, crc, uint32_t(payload.size()));
    Put16(&central, 0);  // comment
    Put16(&central, 0);  // disk number
    Put16(&central, 0);  // internal attributes
    Put32(&central, entry.externalAttributes);
    Put32(&central, localOffset);
    central += entry.name;
  }

  const uint32_t centralOffset = uint32_t(archive.size());
  archive += central;
  Put32(&archive, 0x06054B50);
  Put16(&archive, 0);
  Put16(&archive, 0);
  Put16(&archive, uint32_t(entries.size()));
  Put16(&archive, uint32_t(entries.size()));
  Put32(&archive, uint32_t(central.size()));
  Put32(&archive, centralOffset);
  Put16(&archive, uint32_t(comment.size()));
  archive += comment;
  return archive;
}
