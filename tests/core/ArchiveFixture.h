// Builds small archives byte by byte for the tests: LHA archives of stored
// (-lh0-) members at header levels 0 and 2, where the name, the method and
// the sizes in the header can be anything; ZIP archives through libarchive's
// writer.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveRead.h"

namespace kest::test {

struct LhaEntry {
  std::string name;  // raw header bytes: Shift-JIS, '\' or '/' between folders
  std::string data;  // stored as it stands
  int level = 0;     // 0 or 2
  std::string method = "-lh0-";
  std::int64_t declaredSize = -1;  // the original size in the header; -1: data's size
  char attribute = 0x20;           // MS-DOS attributes, or 0x20 where the level has none
};

inline void PutLittle(std::string& s, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::string LhaArchive(const std::vector<LhaEntry>& entries) {
  std::string out;
  for (const LhaEntry& e : entries) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(e.data.data());
    const std::uint16_t crc = archive_read::lhasa::Crc16(0, bytes, e.data.size());
    const std::uint64_t size =
        e.declaredSize < 0 ? e.data.size() : static_cast<std::uint64_t>(e.declaredSize);
    std::string h;
    if (e.level == 0) {
      h += e.method;
      PutLittle(h, e.data.size(), 4);
      PutLittle(h, size, 4);
      PutLittle(h, 0x208ABBC0, 4);  // 1996-04-10 23:30 in MS-DOS form
      h += e.attribute;
      h += '\0';
      h += static_cast<char>(e.name.size());
      h += e.name;
      PutLittle(h, crc, 2);
      unsigned sum = 0;
      for (unsigned char c : h) sum += c;
      out += static_cast<char>(h.size());
      out += static_cast<char>(sum & 0xFF);
      out += h;
    } else {
      // Level 2: the fixed part; a common header, whose CRC covers the whole
      // header; a file-name header; the end of the chain.
      std::string ext;
      PutLittle(ext, 5, 2);
      ext += '\0';
      PutLittle(ext, 0, 2);  // the header's CRC, below
      PutLittle(ext, 3 + e.name.size(), 2);
      ext += '\x01';
      ext += e.name;
      PutLittle(ext, 0, 2);
      PutLittle(h, 24 + ext.size(), 2);
      h += e.method;
      PutLittle(h, e.data.size(), 4);
      PutLittle(h, size, 4);
      PutLittle(h, 829179000, 4);
      h += e.attribute;
      h += '\x02';
      PutLittle(h, crc, 2);
      h += 'U';
      h += ext;
      const std::uint16_t headerCrc =
          archive_read::lhasa::Crc16(0, reinterpret_cast<const unsigned char*>(h.data()), h.size());
      h[27] = static_cast<char>(headerCrc & 0xFF);
      h[28] = static_cast<char>(headerCrc >> 8);
      out += h;
    }
    out += e.data;
  }
  out += '\0';
  return out;
}

struct ZipEntry {
  std::string name;
  std::string data;
};

// A ZIP archive written by libarchive, deflated, or encrypted with the old
// ZIP password scheme when `password` is given.
inline std::string ZipArchive(const std::vector<ZipEntry>& entries, const char* password = nullptr) {
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  if (password) {
    archive_write_set_options(a, "zip:encryption=zipcrypt");
    archive_write_set_passphrase(a, password);
  }
  std::vector<char> buf(1 << 20);
  std::size_t used = 0;
  archive_write_open_memory(a, buf.data(), buf.size(), &used);
  for (const ZipEntry& z : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, z.name.c_str());
    archive_entry_set_size(e, static_cast<la_int64_t>(z.data.size()));
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_mtime(e, 829179000, 0);
    archive_write_header(a, e);
    archive_write_data(a, z.data.data(), z.data.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  return std::string(buf.data(), used);
}

}  // namespace kest::test
