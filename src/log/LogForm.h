// The form a log has taken on its travels: its text encoding and its line
// ends. The scanner reads only Shift-JIS with CR LF line ends; every other
// form is recognised here from the file's first block and converted into a
// native copy (log/NativeCopy) before the scan.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kest {

enum class LogEncoding { ShiftJis, EucJp, Utf8 };
enum class LineEnd { CrLf, Lf, Cr };

struct LogForm {
  LogEncoding encoding = LogEncoding::ShiftJis;
  LineEnd lineEnd = LineEnd::CrLf;
  bool bom = false;     // UTF-8 with a byte-order mark (dropped by the conversion)
  bool binary = false;  // no text at all: read as it stands, as a native log

  // Shift-JIS with CR LF line ends: the scanner reads the file itself.
  bool Native() const { return encoding == LogEncoding::ShiftJis && lineEnd == LineEnd::CrLf && !bom; }
  bool operator==(const LogForm&) const = default;
};

// How much of a file's start the detection reads: enough to see past the
// title and the first remarks of any log (not only the first line), and
// still one read of the disk.
constexpr std::size_t kFormSampleSize = 64 * 1024;

// The form of a log whose first bytes are `head`. `whole` tells that `head`
// is the entire file, so a multibyte character cut off at its end is a
// fault rather than the edge of the sample. An empty or pure ASCII head with
// CR LF line ends (or none at all) is native.
LogForm DetectLogForm(std::string_view head, bool whole);
// The same with an encoding given: only the line ends are detected, and the
// encoding is the one given.
LogForm DetectLogForm(std::string_view head, bool whole, std::optional<LogEncoding> encoding);

// The first bytes of a file look like a log in any of its forms: text, with
// a line that the scan takes for a remark's header line 1 (three or five
// digits and '/') among them. `whole` as above.
bool LooksLikeLog(std::string_view head, bool whole);

// Reads the file's first kFormSampleSize bytes and detects its form; with
// `encoding` given, only the line ends are detected and the encoding is the
// one given. Throws LogFileError when the file cannot be read.
LogForm DetectLogFormOf(const std::filesystem::path& path,
                        std::optional<LogEncoding> encoding = std::nullopt);

// "shift_jis", "euc-jp", "utf-8" and their usual spellings (case ignored);
// nothing for an unknown name. "auto" is the caller's to handle.
std::optional<LogEncoding> EncodingFromName(std::string_view name);

// The form as the user is told it, in UTF-8: "UTF-8（BOM付き）・LF", "EUC-JP・CR LF".
std::string DescribeLogForm(const LogForm& form);

}  // namespace kest
