#include "log/KeyMatcher.h"

#include <algorithm>
#include <cstring>

#include "platform/Codec.h"
#include "log/ByteSearch.h"

namespace kest {
namespace {

constexpr unsigned char Fold(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

}  // namespace

bool OnCharBoundary(const char* floor, const char* at) {
  // The byte before a run of bytes that could all be lead bytes ends a
  // character (a trail byte or a single-byte character), so the run starts
  // on a boundary, and its bytes pair up from there.
  const char* p = at;
  while (p > floor && IsSjisLead(static_cast<unsigned char>(p[-1]))) --p;
  return ((at - p) & 1) == 0;
}

KeyMatcher::KeyMatcher(std::string key, bool ignoreCase)
    : key_(std::move(key)), folded_(key_), exact_(key_.size(), false), ignoreCase_(ignoreCase) {
  for (char c : key_) impossible_ = impossible_ || c == '\r' || c == 0x1A;
  // The key's characters, as the text's are told apart from its line start.
  for (std::size_t i = 0; i < key_.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(key_[i]);
    if (IsSjisLead(c)) {
      exact_[i] = true;
      if (i + 1 == key_.size()) cutAtEnd_ = true;
      else exact_[++i] = true;
    } else {
      foldSearch_ = foldSearch_ || (ignoreCase_ && c >= 'A' && c <= 'Z');
    }
  }
  // Candidates are looked for with every byte folded, trail bytes too: a
  // superset of the matches, which MatchesAt then tells apart.
  if (foldSearch_) {
    for (char& c : folded_) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
  }
}

bool KeyMatcher::SameBytes(const char* at) const {
  if (!ignoreCase_) return std::memcmp(at, key_.data(), key_.size()) == 0;
  for (std::size_t i = 0; i < key_.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(at[i]);
    if ((exact_[i] ? c : Fold(c)) != static_cast<unsigned char>(key_[i])) return false;
  }
  return true;
}

const char* KeyMatcher::Candidate(const char* p, std::size_t n) const {
  return FindBytes(p, n, folded_, foldSearch_);
}

bool KeyMatcher::MatchesAt(const char*& floor, const char* at, const char* end) const {
  if (!SameBytes(at)) return false;
  const bool boundary = OnCharBoundary(floor, at);
  // The byte after a byte that starts no character is the start of one.
  floor = boundary ? at : at + 1;
  if (!boundary) return false;
  if (!cutAtEnd_) return true;
  const char* after = at + key_.size();
  return after == end || *after == '\r' || *after == 0x1A;
}

std::size_t KeyMatcher::FindInLine(std::string_view line, std::size_t from) const {
  const char* begin = line.data();
  if (key_.empty()) {
    if (from > line.size()) return npos;
    return from == line.size() || OnCharBoundary(begin, begin + from) ? from : from + 1;
  }
  const char* end = begin + line.size();
  const char* floor = begin;
  for (std::size_t pos = from; pos < line.size();) {
    const char* c = Candidate(begin + pos, line.size() - pos);
    if (!c) break;
    if (MatchesAt(floor, c, end)) return static_cast<std::size_t>(c - begin);
    pos = static_cast<std::size_t>(c - begin) + 1;
  }
  return npos;
}

std::size_t KeyMatcher::FindInLines(std::string_view text, std::size_t from) const {
  // The line that holds `from`: after the last CR before it and an LF that
  // follows that CR.
  std::size_t start = 0;
  if (from > text.size()) return npos;
  if (from > 0) {
    const void* cr = memrchr(text.data(), '\r', from);
    if (cr) start = static_cast<std::size_t>(static_cast<const char*>(cr) - text.data()) + 1;
  }
  for (;;) {
    if (start > 0 && start < text.size() && text[start] == '\n') ++start;
    const std::size_t cr = text.find('\r', start);
    const std::size_t end = cr == std::string_view::npos ? text.size() : cr;
    const std::size_t at = FindInLine(text.substr(start, end - start), from > start ? from - start : 0);
    if (at != npos) return start + at;
    if (cr == std::string_view::npos) return npos;
    start = cr + 1;
  }
}

namespace {

// The lines of a remark, read from bytes in memory as the line reader reads
// them from the file.
class MemoryLines {
 public:
  explicit MemoryLines(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}
  LineReader::Line operator()() {
    const std::size_t avail = static_cast<std::size_t>(end_ - p_);
    const char* cr = static_cast<const char*>(std::memchr(p_, '\r', avail));
    const char* stop = cr ? cr : end_;
    const char* sub = static_cast<const char*>(std::memchr(p_, 0x1A, static_cast<std::size_t>(stop - p_)));
    LineReader::Stop how = sub ? LineReader::Stop::Sub : cr ? LineReader::Stop::CR : LineReader::Stop::Eof;
    if (sub) stop = sub;
    LineReader::Line line{std::string_view(p_, static_cast<std::size_t>(stop - p_)), stop - p_, how};
    if (how == LineReader::Stop::CR) {
      p_ = stop + 1;
      if (p_ < end_ && *p_ == '\n') ++p_;
    } else {
      p_ = stop;  // stays at the 0x1A byte, or at the end
    }
    return line;
  }

 private:
  const char* p_;
  const char* end_;
};

template <class NextLine>
bool WalkRemark(std::int64_t span, const KeyMatcher& key, NextLine next) {
  std::int64_t count = 0;
  do {
    const LineReader::Line l = next();
    if (key.InLine(l.text)) return true;
    // After a 0x1A byte or at the end of the file only empty lines follow,
    // which hold no key (an empty one has matched already).
    if (l.stop != LineReader::Stop::CR) return false;
    count += l.length + 2;
  } while (count < span);
  return false;
}

}  // namespace

bool RemarkHolds(LineReader& reader, ByteOffset start, ByteOffset end, const KeyMatcher& key) {
  reader.Seek(start);
  return WalkRemark(end - start, key, [&] { return reader.ReadLine(); });
}

bool RemarkHolds(const std::filesystem::path& log, ByteOffset start, ByteOffset end, const KeyMatcher& key) {
  LineReader reader(log, static_cast<std::size_t>(std::clamp<std::int64_t>(end - start + 2, 64, 64 * 1024)));
  return RemarkHolds(reader, start, end, key);
}

bool RemarkHolds(std::string_view text, std::int64_t span, const KeyMatcher& key) {
  return WalkRemark(span, key, MemoryLines(text));
}

}  // namespace kest
