#include "log/LogForm.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "log/LineReader.h"

namespace kest {
namespace {

using u8 = unsigned char;

// What one reading of the sample makes of its bytes.
struct Tally {
  std::size_t chars = 0;     // valid multibyte characters
  std::size_t wide = 0;      // UTF-8: of them, three or four bytes long
  std::size_t kana = 0;      // EUC-JP: two-byte characters of rows 1, 4 and 5 (punctuation, kana)
  std::size_t errors = 0;    // bytes that start no valid character
};

bool Cont(u8 c) { return (c & 0xC0) == 0x80; }

Tally ReadAsUtf8(std::string_view s, bool whole) {
  Tally t;
  for (std::size_t i = 0; i < s.size();) {
    const u8 c = static_cast<u8>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0) {
      ++t.errors;
      ++i;
      continue;
    }
    if (i + n > s.size() && !whole) {
      // The sample ends inside a character: the rest of it is in the file.
      bool fits = true;
      for (std::size_t k = i + 1; k < s.size(); ++k) fits = fits && Cont(static_cast<u8>(s[k]));
      if (fits) break;
    }
    bool ok = i + n <= s.size();
    for (std::size_t k = 1; ok && k < n; ++k) ok = Cont(static_cast<u8>(s[i + k]));
    if (ok && n >= 3) {
      // No overlong forms, no surrogates, nothing past U+10FFFF.
      const u8 d = static_cast<u8>(s[i + 1]);
      if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) ||
          (c == 0xF4 && d > 0x8F)) {
        ok = false;
      }
    }
    if (!ok) {
      ++t.errors;
      ++i;
      continue;
    }
    ++t.chars;
    if (n >= 3) ++t.wide;
    i += n;
  }
  return t;
}

bool SjisTrail(u8 c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }
bool SjisLead(u8 c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

Tally ReadAsSjis(std::string_view s, bool whole) {
  Tally t;
  for (std::size_t i = 0; i < s.size();) {
    const u8 c = static_cast<u8>(s[i]);
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) {
      ++i;
      continue;
    }
    if (SjisLead(c)) {
      if (i + 1 >= s.size()) {
        if (!whole) break;
      } else if (SjisTrail(static_cast<u8>(s[i + 1]))) {
        ++t.chars;
        i += 2;
        continue;
      }
    }
    ++t.errors;
    ++i;
  }
  return t;
}

bool EucByte(u8 c) { return c >= 0xA1 && c <= 0xFE; }

Tally ReadAsEuc(std::string_view s, bool whole) {
  Tally t;
  for (std::size_t i = 0; i < s.size();) {
    const u8 c = static_cast<u8>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = c == 0x8F ? 3 : (c == 0x8E || EucByte(c)) ? 2 : 0;
    if (n != 0 && i + n > s.size() && !whole) break;
    bool ok = n != 0 && i + n <= s.size();
    if (ok && c == 0x8E) {
      const u8 d = static_cast<u8>(s[i + 1]);
      ok = d >= 0xA1 && d <= 0xDF;
    } else {
      for (std::size_t k = 1; ok && k < n; ++k) ok = EucByte(static_cast<u8>(s[i + k]));
    }
    if (!ok) {
      ++t.errors;
      ++i;
      continue;
    }
    ++t.chars;
    if (c == 0xA1 || c == 0xA4 || c == 0xA5) ++t.kana;
    i += n;
  }
  return t;
}

LineEnd DetectLineEnd(std::string_view s, bool whole) {
  std::size_t crlf = 0, lf = 0, cr = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n') {
      ++lf;
    } else if (s[i] == '\r') {
      if (i + 1 < s.size() && s[i + 1] == '\n') {
        ++crlf;
        ++i;
      } else if (i + 1 < s.size() || whole) {
        ++cr;
      }
    }
  }
  // Ties go to the native form, so a file with no line end stays native.
  if (crlf >= lf && crlf >= cr) return LineEnd::CrLf;
  return lf >= cr ? LineEnd::Lf : LineEnd::Cr;
}

bool LooksBinary(std::string_view s) {
  std::size_t controls = 0;
  for (char ch : s) {
    const u8 c = static_cast<u8>(ch);
    if (c == 0) return true;  // no text encoding of a log holds NUL bytes
    // Tab, line ends, form feed, the end-of-file mark and the escape of
    // terminal sequences are all at home in a captured log.
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A && c != 0x1B) ++controls;
  }
  return controls * 20 > s.size();
}

constexpr std::string_view kBom = "\xEF\xBB\xBF";

}  // namespace

LogForm DetectLogForm(std::string_view head, bool whole) {
  LogForm form;
  if (head.substr(0, 3) == kBom) {
    form.encoding = LogEncoding::Utf8;
    form.bom = true;
    form.lineEnd = DetectLineEnd(head.substr(3), whole);
    return form;
  }
  if (LooksBinary(head)) {
    form.binary = true;
    return form;
  }
  form.lineEnd = DetectLineEnd(head, whole);
  bool high = false;
  for (char c : head) high = high || static_cast<u8>(c) >= 0x80;
  if (!high) return form;

  // Shift-JIS text is full of lead bytes 0x81-0x9F that neither UTF-8 nor
  // EUC-JP can start a character with, so each of those two is taken when
  // it reads the sample with at most one faulty byte in fifty characters.
  const Tally u = ReadAsUtf8(head, whole);
  const Tally s = ReadAsSjis(head, whole);
  const Tally e = ReadAsEuc(head, whole);
  if (u.chars > 0 && u.errors * 50 <= u.chars) {
    // Without a three-byte character, a few valid two-byte pairs may as well
    // be Shift-JIS half-width kana.
    if (u.errors > 0 || u.wide > 0 || s.errors > 0) {
      form.encoding = LogEncoding::Utf8;
      return form;
    }
  }
  if (e.chars > 0 && e.errors * 50 <= e.chars) {
    // EUC-JP pairs often read as valid Shift-JIS too (half-width kana and
    // kanji). Japanese text in EUC-JP is rich in row 4 and 5 (hiragana,
    // katakana) and row 1 (punctuation); the same bytes in Shift-JIS are
    // the rarely used half-width "､", "･", "｡".
    if (s.errors > 0 || e.kana * 20 >= e.chars) {
      form.encoding = LogEncoding::EucJp;
      return form;
    }
  }
  return form;
}

bool LooksLikeLog(std::string_view head, bool whole) {
  if (DetectLogForm(head, whole).binary) return false;
  if (head.substr(0, 3) == kBom) head.remove_prefix(3);
  // Every line start: the file's, and the byte after each CR or LF.
  for (std::size_t start = 0; start < head.size();) {
    std::size_t digits = 0;
    while (start + digits < head.size() && head[start + digits] >= '0' && head[start + digits] <= '9')
      ++digits;
    if ((digits == 3 || digits == 5) && start + digits < head.size() && head[start + digits] == '/')
      return true;
    const std::size_t end = head.find_first_of("\r\n", start);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return false;
}

LogForm DetectLogFormOf(const std::filesystem::path& path, std::optional<LogEncoding> encoding) {
  const int fd = OpenLogFile(path);
  std::string head(kFormSampleSize + 1, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      throw LogFileError(LogFileError::Reason::Unreadable,
                         "ファイルを読めません (" + std::string(std::strerror(err)) + ")", path);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  // One byte more than the sample tells whether the sample is the whole file.
  const bool whole = got <= kFormSampleSize;
  head.resize(std::min(got, kFormSampleSize));
  return DetectLogForm(head, whole, encoding);
}

LogForm DetectLogForm(std::string_view head, bool whole, std::optional<LogEncoding> encoding) {
  LogForm form = DetectLogForm(head, whole);
  if (encoding) {
    form.binary = false;
    form.encoding = *encoding;
    form.bom = *encoding == LogEncoding::Utf8 && head.substr(0, 3) == kBom;
  }
  return form;
}

std::optional<LogEncoding> EncodingFromName(std::string_view name) {
  std::string n;
  for (char c : name) n += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (n == "shift_jis" || n == "shift-jis" || n == "sjis" || n == "cp932" || n == "windows-31j" || n == "ms932") {
    return LogEncoding::ShiftJis;
  }
  if (n == "euc-jp" || n == "euc_jp" || n == "eucjp" || n == "euc-jp-ms") return LogEncoding::EucJp;
  if (n == "utf-8" || n == "utf8") return LogEncoding::Utf8;
  return std::nullopt;
}

std::string DescribeLogForm(const LogForm& form) {
  std::string s = form.encoding == LogEncoding::Utf8   ? (form.bom ? "UTF-8（BOM付き）" : "UTF-8")
                  : form.encoding == LogEncoding::EucJp ? "EUC-JP"
                                                        : "Shift-JIS";
  s += form.lineEnd == LineEnd::CrLf ? "・CR LF" : form.lineEnd == LineEnd::Lf ? "・LF" : "・CR";
  return s;
}

}  // namespace kest
