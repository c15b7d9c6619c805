// liblhasa for the LHA methods libarchive does not unpack: -lh1- (LHarc
// 1.x), -lz5- and -lzs- (LArc), and the rest of the old ones it knows.
// liblhasa turns every 0x5C byte of a name into a folder separator, also
// the second byte of a Shift-JIS character such as "ソ" (0x83 0x5C), so
// names are read from the raw header here.
#include <lhasa.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "archive/ArchiveRead.h"
#include "log/LineReader.h"
#include "platform/Codec.h"

namespace kest::archive_read::lhasa {
namespace {

// A stream over the open archive from a given offset; the descriptor's own
// position is never used. liblhasa asks for a few bytes at a time, so the
// archive is read in blocks.
struct FdStream {
  int fd;
  std::int64_t pos;  // the offset of the next byte given out
  std::vector<char> buf = std::vector<char>(64 * 1024);
  std::int64_t bufAt = 0;  // the offset of buf[0]
  std::size_t bufLen = 0;
};

// Fills `out` whole, as liblhasa expects, unless the archive ends first.
int StreamRead(void* handle, void* out, size_t len) {
  auto* s = static_cast<FdStream*>(handle);
  std::size_t done = 0;
  while (done < len) {
    if (s->pos < s->bufAt || s->pos >= s->bufAt + static_cast<std::int64_t>(s->bufLen)) {
      ssize_t n;
      do {
        n = ::pread(s->fd, s->buf.data(), s->buf.size(), s->pos);
      } while (n < 0 && errno == EINTR);
      if (n < 0) return -1;
      s->bufAt = s->pos;
      s->bufLen = static_cast<std::size_t>(n);
      if (n == 0) break;
    }
    const std::size_t at = static_cast<std::size_t>(s->pos - s->bufAt);
    const std::size_t n = std::min(len - done, s->bufLen - at);
    std::memcpy(static_cast<char*>(out) + done, s->buf.data() + at, n);
    s->pos += static_cast<std::int64_t>(n);
    done += n;
  }
  return static_cast<int>(done);
}

int StreamSkip(void* handle, size_t bytes) {
  static_cast<FdStream*>(handle)->pos += static_cast<std::int64_t>(bytes);
  return 1;
}

void StreamClose(void*) {}

const LHAInputStreamType kStreamType = {StreamRead, StreamSkip, StreamClose};

// A liblhasa reader whose first header is the one at `at`.
class Reader {
 public:
  Reader(int fd, std::int64_t at) : stream_{fd, at} {
    in_ = lha_input_stream_new(&kStreamType, &stream_);
    if (in_) reader_ = lha_reader_new(in_);
    if (reader_) lha_reader_set_dir_policy(reader_, LHA_READER_DIR_PLAIN);
  }
  ~Reader() {
    if (reader_) lha_reader_free(reader_);
    if (in_) lha_input_stream_free(in_);
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // The next header that is not a folder, or nullptr at the end.
  LHAFileHeader* NextFile() {
    while (reader_) {
      LHAFileHeader* h = lha_reader_next_file(reader_);
      if (!h || std::strcmp(h->compress_method, LHA_COMPRESS_TYPE_DIR) != 0) return h;
    }
    return nullptr;
  }
  std::size_t Read(char* data, std::size_t size) { return lha_reader_read(reader_, data, size); }

 private:
  FdStream stream_;
  LHAInputStream* in_ = nullptr;
  LHAReader* reader_ = nullptr;
};

std::string ReadSample(Reader& r) {
  std::string sample(kSampleSize, '\0');
  std::size_t got = 0;
  while (got < sample.size()) {
    const std::size_t n = r.Read(sample.data() + got, sample.size() - got);
    if (n == 0) break;
    got += n;
  }
  sample.resize(got);
  return sample;
}

// Separators of a raw name: '\' outside a double-byte character, and 0xFF
// (the folders of an extended header), become '/'.
std::string Separators(const unsigned char* p, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (IsSjisLead(p[i]) && i + 1 < n) {
      out += static_cast<char>(p[i]);
      out += static_cast<char>(p[++i]);
    } else {
      out += p[i] == '\\' || p[i] == 0xFF ? '/' : static_cast<char>(p[i]);
    }
  }
  return out;
}

std::uint64_t Little(const unsigned char* p, std::size_t width) {
  std::uint64_t v = 0;
  for (std::size_t k = width; k > 0; --k) v = (v << 8) | p[k - 1];
  return v;
}

class LhasaMember : public MemberReader {
 public:
  LhasaMember(std::unique_ptr<Reader> reader, const LHAFileHeader& h, const ArchiveMember& m)
      : reader_(std::move(reader)), length_(h.length), crc_(h.crc), member_(m) {}

  std::size_t Read(char* data, std::size_t size) override {
    const std::size_t n = reader_->Read(data, size);
    crc_now_ = Crc16(crc_now_, reinterpret_cast<const unsigned char*>(data), n);
    read_ += n;
    if (n == 0 && read_ != length_) throw LogFileError(DamagedMessage(member_, "途中で切れています"));
    if (n == 0 && crc_now_ != crc_) throw LogFileError(DamagedMessage(member_, "CRC が一致しません"));
    return n;
  }

 private:
  std::unique_ptr<Reader> reader_;
  std::size_t length_;
  std::uint16_t crc_;
  std::uint16_t crc_now_ = 0;
  std::size_t read_ = 0;
  const ArchiveMember& member_;
};

}  // namespace

bool Knows(std::string_view method) {
  char name[8] = {};
  if (method.size() >= sizeof name) return false;
  std::memcpy(name, method.data(), method.size());
  return lha_decoder_for_name(name) != nullptr;
}

std::string RawHeaderName(const unsigned char* h, std::size_t size) {
  if (size < 24) return {};
  const int level = h[20];
  std::string name, dir;
  std::size_t pos = 0, width = 2;
  std::uint64_t next = 0;
  if (level == 0 || level == 1) {
    const std::size_t n = h[21];
    if (22 + n > size) return {};
    name = Separators(h + 22, n);
    if (level == 1) {
      pos = std::size_t(h[0]) + 2;
      if (pos > size || pos < 24 + n) return name;
      next = Little(h + pos - 2, 2);
    }
  } else if (level == 2 && size >= 26) {
    pos = 26;
    next = Little(h + 24, 2);
  } else if (level == 3 && size >= 32) {
    width = 4;
    pos = 32;
    next = Little(h + 28, 4);
  } else {
    return {};
  }
  // The extended headers: a type byte, the data, the size of the next one.
  while (next > width && pos + next <= size) {
    const unsigned char* e = h + pos;
    const std::size_t dataSize = static_cast<std::size_t>(next) - 1 - width;
    if (e[0] == 0x01) name = Separators(e + 1, dataSize);
    if (e[0] == 0x02) dir = Separators(e + 1, dataSize);
    pos += static_cast<std::size_t>(next);
    next = Little(e + 1 + dataSize, width);
  }
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + name;
}

std::uint16_t Crc16(std::uint16_t crc, const unsigned char* data, std::size_t size) {
  static const std::array<std::uint16_t, 256> table = [] {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
      std::uint16_t c = static_cast<std::uint16_t>(i);
      for (int k = 0; k < 8; ++k) c = static_cast<std::uint16_t>(c & 1 ? (c >> 1) ^ 0xA001 : c >> 1);
      t[i] = c;
    }
    return t;
  }();
  for (std::size_t i = 0; i < size; ++i)
    crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
  return crc;
}

void List(int fd, const ListOptions& options, ArchiveListing& listing) {
  Reader r(fd, 0);
  std::int64_t index = 0;
  while (LHAFileHeader* h = r.NextFile()) {
    ArchiveMember m;
    m.entry = index++;
    m.viaLhasa = m.lhasaListed = true;
    std::string raw = RawHeaderName(h->raw_data, h->raw_data_len);
    if (raw.empty()) raw = std::string(h->path ? h->path : "") + (h->filename ? h->filename : "");
    m.name = NameToUtf8(raw);
    m.method = h->compress_method;
    m.size = h->length;
    m.packed = h->compressed_length + h->raw_data_len;
    m.mtime = h->timestamp;
    m.unsupported = !Knows(m.method);
    if (options.detectLogs && !m.unsupported) m.looksLikeLog = SampleLooksLikeLog(ReadSample(r));
    listing.members.push_back(std::move(m));
  }
}

void Sample(int fd, ArchiveMember& m) {
  Reader r(fd, m.headerAt);
  if (!r.NextFile()) return;
  m.looksLikeLog = SampleLooksLikeLog(ReadSample(r));
}

std::unique_ptr<MemberReader> Open(int fd, const ArchiveMember& m) {
  auto r = std::make_unique<Reader>(fd, m.lhasaListed ? 0 : m.headerAt);
  LHAFileHeader* h = r->NextFile();
  for (std::int64_t i = 0; m.lhasaListed && h && i < m.entry; ++i) h = r->NextFile();
  if (!h || m.method != h->compress_method) throw LogFileError(DamagedMessage(m, "見出しを読めません"));
  return std::make_unique<LhasaMember>(std::move(r), *h, m);
}

}  // namespace kest::archive_read::lhasa
