#include "app/Batch.h"

#include <array>
#include <memory>
#include <atomic>
#include <charconv>
#include <clocale>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "archive/BatchArchive.h"
#include "export/ExportCommand.h"
#include "library/LibraryArchives.h"
#include "library/LibraryBatch.h"
#include "log/LogFile.h"
#include "log/Logunit1.h"
#include "log/NativeCopy.h"
#include "log/RemarkHeader.h"
#include "log/TitleLines.h"
#include "platform/Codec.h"
#include "platform/Convert.h"
#include "platform/Memory.h"
#include "search/SearchEngine.h"
#include "settings/Settings.h"

namespace kest {
namespace {

constexpr const char* kUsage =
    "使い方:\n"
    "  kest32 [FILE]                          ウィンドウでログを開く\n"
    "  kest32 --list  [OPTIONS] FILE          タイトル一覧を表示する\n"
    "  kest32 --show NUMBER [OPTIONS] FILE    発言を印刷と同じ形で表示する\n"
    "  kest32 --index [OPTIONS] FILE          発言インデックスを表示する\n"
    "  kest32 --grep TEXT [OPTIONS] FILE      TEXT を含む発言の番号を表示する\n"
    "  kest32 --export=text|html [OPTIONS] FILE  ログをテキストか HTML に書き出す\n"
    "  kest32 --members ARCHIVE               書庫 (.lzh .zip) のメンバーを表示する\n"
    "  kest32 --help | --version\n"
    KEST_LIBRARY_USAGE
    "OPTIONS\n"
    "  --sort=remark|content1|content2   発言順 / 内容順(1) / 内容順(2)\n"
    "                                    (既定: Kest.INI の SortType、なければ content2)\n"
    "  --columns=LIST                    number,date,speaker から表示する欄 (空なら表示しない)\n"
    "  --expand-all                      --list の内容順(2)で全スレッドを展開する\n"
    "  --ignore-case                     --grep で英字の大文字・小文字を区別しない\n"
    "  --encoding=utf-8|shift_jis        出力の文字コード (既定: utf-8)\n"
    "  --thread=NUMBER                   --export でその発言のスレッドだけを書き出す\n"
    "  --remark=NUMBER                   --export でその発言だけを書き出す\n"
    "  -o OUT, --output=OUT              --export の出力先 (既定: 標準出力)\n"
    "  --input-encoding=auto|shift_jis|euc-jp|utf-8\n"
    "                                    ログの文字コード (既定: auto は自動判定)\n"
    "  --member=NAME                     FILE が書庫のとき読むメンバー (名前かワイルドカード;\n"
    "                                    既定: 書庫にただ一つのログ)\n";

enum class Mode { None, List, Show, Index, Grep, Export, Members, Help, Version };

struct Options {
  Mode mode = Mode::None;
  std::string modeArg;  // NUMBER or TEXT
  std::optional<SortOrder> sortType;
  std::optional<ColumnSwitches> columns;
  bool expandAll = false;
  bool ignoreCase = false;
  bool shiftJis = false;
  std::optional<LogEncoding> inputEncoding;  // nothing: detected
  std::string member;                        // --member: a member of an archive
  std::string file;
  ExportArguments exporting;
};

struct UsageError {
  std::string message;
};

void SetMode(Options& o, Mode m) {
  if (o.mode != Mode::None) throw UsageError{"コマンドは一つだけ指定してください"};
  o.mode = m;
}

ColumnSwitches ParseColumns(std::string_view list) {
  ColumnSwitches c{false, false, false};
  std::size_t start = 0;
  while (start <= list.size() && !list.empty()) {
    std::size_t comma = list.find(',', start);
    std::string_view name =
        list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (name == "number") c.ShowNumber = true;
    else if (name == "date") c.ShowDate = true;
    else if (name == "speaker") c.ShowSpeaker = true;
    else throw UsageError{"--columns に知らない欄があります: " + std::string(name)};
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return c;
}

bool IsOptionName(std::string_view name) {
  for (const char* known : {"--list", "--show", "--index", "--grep", "--help", "--version", "--sort",
                            "--columns", "--expand-all", "--ignore-case", "--encoding", "--input-encoding"}) {
    if (name == known) return true;
  }
  return false;
}

Options Parse(int argc, char** argv) {
  Options o;
  bool fileSeen = false;
  bool optionsDone = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto value = [&](std::string_view flag) -> std::string {
      if (a.size() > flag.size() && a[flag.size()] == '=') return std::string(a.substr(flag.size() + 1));
      if (i + 1 >= argc) throw UsageError{std::string(flag) + " には値が必要です"};
      // An option where the value belongs is a slip ("--grep --ignore-case
      // scsi"), not a text to search for; --grep=--ignore-case still says so.
      const std::string_view next = argv[i + 1];
      if (IsOptionName(next.substr(0, next.find('=')))) {
        throw UsageError{std::string(flag) + " の値がありません（" + std::string(next) +
                         " はオプションです）。値はすぐ後に書いてください: kest32 " + std::string(flag) +
                         (flag == "--grep" ? " TEXT" : " NUMBER") + " [OPTIONS] FILE"};
      }
      return argv[++i];
    };
    if (!optionsDone && a.size() > 2 && a.substr(0, 2) == "--") {
      std::string_view name = a.substr(0, a.find('='));
      bool hasValue = name.size() != a.size();
      std::string_view v = hasValue ? a.substr(name.size() + 1) : std::string_view();
      if (name == "--list" && !hasValue) SetMode(o, Mode::List);
      else if (name == "--index" && !hasValue) SetMode(o, Mode::Index);
      else if (name == "--members" && !hasValue) SetMode(o, Mode::Members);
      else if (name == "--member") o.member = value("--member");
      else if (name == "--help" && !hasValue) SetMode(o, Mode::Help);
      else if (name == "--version" && !hasValue) SetMode(o, Mode::Version);
      else if (name == "--show") {
        SetMode(o, Mode::Show);
        o.modeArg = value("--show");
      } else if (name == "--grep") {
        SetMode(o, Mode::Grep);
        o.modeArg = value("--grep");
      } else if (name == "--export") {
        SetMode(o, Mode::Export);
        o.exporting.format = value("--export");
      } else if (TakeExportOption(o.exporting, name, [&] { return value(name); })) {
      } else if (name == "--sort" && hasValue) {
        if (v == "remark") o.sortType = SortOrder::Remark;
        else if (v == "content1") o.sortType = SortOrder::ContentFull;
        else if (v == "content2") o.sortType = SortOrder::ContentFolded;
        else throw UsageError{"--sort の値が正しくありません: " + std::string(v)};
      } else if (name == "--columns" && hasValue) o.columns = ParseColumns(v);
      else if (name == "--expand-all" && !hasValue) o.expandAll = true;
      else if (name == "--ignore-case" && !hasValue) o.ignoreCase = true;
      else if (name == "--encoding" && hasValue) {
        if (v == "utf-8" || v == "utf8" || v == "UTF-8") o.shiftJis = false;
        else if (v == "shift_jis" || v == "shift-jis" || v == "sjis" || v == "cp932") o.shiftJis = true;
        else throw UsageError{"--encoding の値が正しくありません: " + std::string(v)};
      } else if (name == "--input-encoding" && hasValue) {
        if (v != "auto" && !(o.inputEncoding = EncodingFromName(v))) {
          throw UsageError{"--input-encoding の値が正しくありません: " + std::string(v)};
        }
      } else {
        throw UsageError{"知らないオプションです: " + std::string(a)};
      }
    } else if (!optionsDone && a == "-o") {
      TakeExportOption(o.exporting, a, [&] { return value(a); });
    } else if (!optionsDone && a == "--") {
      optionsDone = true;
    } else {
      if (fileSeen) throw UsageError{"ファイルは一つだけ指定してください"};
      o.file = std::string(a);
      fileSeen = true;
    }
  }
  if (o.mode == Mode::None) throw UsageError{"コマンドを指定してください"};
  if (std::string e = CheckExportArguments(o.exporting, o.mode == Mode::Export, o.shiftJis); !e.empty()) {
    throw UsageError{e};
  }
  if ((o.mode == Mode::Help || o.mode == Mode::Version)) return o;
  if (!fileSeen) throw UsageError{"ファイルを指定してください"};
  return o;
}

// The lines a command prints, gathered into large blocks before they go to
// the stream: a title list can run to a gigabyte, and writing it line by line
// costs more than building it. Whatever is gathered is written at the latest
// when the Output goes.
class Output {
 public:
  Output(std::ostream& out, bool shiftJis) : out_(out), shiftJis_(shiftJis) {}
  ~Output() { Flush(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Line(std::string_view sjis) {
    BeginLine().append(sjis);
    EndLine();
  }
  // A line built in place: append its Shift-JIS bytes to the string given
  // back, then call EndLine.
  std::string& BeginLine() {
    if (shiftJis_) return block_;  // the bytes as they stand: straight into the block
    line_.clear();
    return line_;
  }
  void EndLine() {
    if (!shiftJis_) AppendSjisAsUtf8(line_, block_);
    block_.push_back('\n');
    if (block_.size() >= kBlock) Flush();
  }
  // A line of ASCII bytes, the same in either encoding: written straight into
  // the block, its '\n' included; call EndRawLine after.
  std::string& BeginRawLine() { return block_; }
  void EndRawLine() {
    if (block_.size() >= kBlock) Flush();
  }
  void Flush() {
    if (block_.empty()) return;
    out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
    block_.clear();
  }
  // Bytes made elsewhere, the same in either encoding, written after what
  // is gathered.
  void Write(std::string_view bytes) {
    Flush();
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  static constexpr std::size_t kBlock = 256 * 1024;
  std::ostream& out_;
  bool shiftJis_;
  std::string block_;  // converted lines not yet written
  std::string line_;   // the Shift-JIS line being built, for UTF-8 output
};

// Writes rows 0..n-1 in order, each made by row(i, p), which puts row i at p
// (at most `maxRow` bytes) and gives back its end. The rows are made in parts
// by two threads at once, this one the even parts and a second one the odd
// parts, a few parts ahead at most, while this one writes them in turn.
template <class Row>
void WriteRows(std::int32_t n, std::size_t maxRow, const Row& row, Output& output) {
  constexpr std::int32_t kPart = 16384;  // rows
  constexpr std::int32_t kRing = 4;      // odd parts made ahead
  const std::int32_t parts = (n + kPart - 1) / kPart;
  // A part's rows, in a buffer of room for the longest rows of a part (or
  // of the whole log, when that is smaller), made once (not cleared for
  // every part as a string resized would be).
  struct Part {
    FreshArray<char> room;
    std::size_t length = 0;
    std::string_view Bytes() const { return {room.data(), length}; }
  };
  const std::size_t partRoom = static_cast<std::size_t>(std::min(n, kPart)) * maxRow;
  auto make = [&](std::int32_t part, Part& bytes) {
    const std::int32_t from = part * kPart, to = std::min(n, from + kPart);
    if (!bytes.room.data()) bytes.room = FreshArray<char>(partRoom);
    char* p = bytes.room.data();
    for (std::int32_t i = from; i < to; ++i) p = row(i, p);
    bytes.length = static_cast<std::size_t>(p - bytes.room.data());
  };
  std::array<Part, kRing> ring;
  std::atomic<std::int32_t> made{-1};     // the last odd part made
  std::atomic<std::int32_t> written{-1};  // the last part written; n past the end when this one stops
  struct Stop {
    std::atomic<std::int32_t>& written;
    std::int32_t parts;
    ~Stop() {
      written = parts + 2 * kRing;  // lets the second thread end, also when this one fails
      written.notify_all();
    }
  };
  std::jthread second([&] {
    for (std::int32_t part = 1; part < parts; part += 2) {
      // Its buffer was last used for the part 2 * kRing before: wait till that is written.
      for (std::int32_t w = written; w < part - 2 * kRing; w = written) written.wait(w);
      if (written >= parts) return;
      make(part, ring[static_cast<std::size_t>(part / 2 % kRing)]);
      made = part;
      made.notify_all();
    }
  });
  const Stop stop{written, parts};
  Part mine;
  for (std::int32_t part = 0; part < parts; ++part) {
    if (part % 2 == 0) {
      make(part, mine);
      output.Write(mine.Bytes());
    } else {
      for (std::int32_t m = made; m < part; m = made) made.wait(m);
      output.Write(ring[static_cast<std::size_t>(part / 2 % kRing)].Bytes());
    }
    written = part;
    written.notify_all();
  }
}

}  // namespace

bool IsBatchInvocation(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--") return false;
    if (a.size() > 2 && a.substr(0, 2) == "--") return true;  // an option: batch, or a usage error
  }
  return false;
}

int RunBatch(int argc, char** argv, std::ostream& out, std::ostream& err) {
  std::setlocale(LC_ALL, "");
  if (IsLibraryInvocation(argc, argv)) return RunLibraryBatch(argc, argv, out, err, LibraryArchiveHook());
  Options o;
  try {
    o = Parse(argc, argv);
  } catch (const UsageError& e) {
    err << "kest32: " << e.message << "\n" << kUsage;
    return 2;
  }
  if (o.mode == Mode::Help) {
    out << kUsage;
    return 0;
  }
  if (o.mode == Mode::Version) {
    out << "Kest32 Version 1.50\n";
    return 0;
  }
  if (o.mode == Mode::Members) return PrintMembers(o.file, o.shiftJis, out, err);

  std::optional<std::int32_t> showNumber;
  if (o.mode == Mode::Show) {
    showNumber = StrToInt(o.modeArg);
    if (!showNumber || o.modeArg.find_first_not_of("0123456789+-") != std::string::npos) {
      err << "kest32: 発言番号が正しくありません: " << o.modeArg << "\n" << kUsage;
      return 2;
    }
  }

  ViewOptions view;
  try {
    ProfileFile ini(LocateIni(ProgramDir()));
    view = ReadViewOptions(ini);
  } catch (const std::exception&) {
    // An unreadable settings file reads as defaults, as at start-up.
  }
  const SortOrder sortType = o.sortType.value_or(view.SortType);
  const ColumnSwitches cols = o.columns.value_or(view.Columns);
  Output output(out, o.shiftJis);

  try {
    // A log in another encoding or with other line ends, or in an archive, is
    // read through its native copy; from here on o.file names the file that
    // is read.
    NativeCopyOptions copyOptions;
    copyOptions.encoding = o.inputEncoding;
    const NativeLog native = OpenBatchLog(o.file, o.member, copyOptions);
    const std::string original = o.file;
    o.file = native.ReadPath().string();
    if (native.Fresh() && !ReplacedMessage(native.Counts()).empty()) {
      err << "kest32: " << original << ": " << ReplacedMessage(native.Counts()) << "\n";
    }
    bool keyOk = true;
    std::string key;
    if (o.mode == Mode::Grep) {
      key = LocaleToSjis(o.modeArg, &keyOk);
      if (o.ignoreCase) AnsiUpperInPlace(key.data(), key.size());
      // A key that occurs nowhere in the file's bytes is in no remark's text:
      // nothing to print, and no need to scan and order the log for it.
      if (keyOk && !KeyOccursInFile(o.file, key, o.ignoreCase)) return 0;
    }
    // The file as it is before the scan: a change while it is read, or
    // before a remark's text is read, makes the index wrong.
    const FileIdentity identity = IdentifyFile(o.file);
    const auto unchanged = [&](bool during) {
      const FileChange change = CompareFile(identity, o.file);
      if (change != FileChange::None) throw ChangedFileError(change, original, during);
    };
    TLogCtrl index;
    const std::string title = ScanLog(o.file, index);
    unchanged(true);
    const std::int32_t n = index.Count();
    if (n == 0) {
      err << "kest32: " << original << ": 発言が一つもありません (ログではないようです)\n";
      if (o.mode == Mode::Show) return 1;
    }

    if (o.mode == Mode::Show) {
      // The first remark in file order with that number.
      IndexPos p = index.FindNumber(RemarkNo(*showNumber));
      if (p.v < 0) {
        err << "kest32: 発言 " << *showNumber << " はこのログにありません\n";
        return 1;
      }
      unchanged(false);
      output.Line(HeaderLine(HeaderOf(index.GetItem(p))));
      RemarkText text = LoadRemarkText(o.file, index, p);
      for (const std::string& l : text.lines) output.Line(l);
      output.Flush();
      if (text.truncated) {
        err << "kest32: " << TruncatedMessage(o.file) << "\n";
        return 1;
      }
      return 0;
    }

    if (o.mode == Mode::Export) {
      // Remarks' texts are read through the index: the file must be the one
      // it was made from, before the export and all through it.
      unchanged(false);
      const int result = RunExportCommand(o.exporting, o.shiftJis, sortType, {original, o.file, title}, index, out, err);
      unchanged(true);
      return result;
    }

    // The search needs the records' spans only: a second thread begins it
    // while this one puts the index in order and then joins in. Its answers
    // are by record id, which the order does not change.
    std::vector<bool> hitById;
    if (o.mode == Mode::Grep && keyOk && n > 0) {
      std::vector<std::uint32_t> ids(static_cast<std::size_t>(n));
      for (std::int32_t i = 0; i < n; ++i) ids[static_cast<std::size_t>(i)] = index.IdAt(IndexPos(i));
      SharedSearch search(o.file, index, key, o.ignoreCase, std::move(ids));
      {
        std::jthread helper([&search] { search.Work(); });
        ArrangeIndex(index, sortType);
        search.Work();
      }
      hitById = search.Result();
      unchanged(true);  // the matches hold only for the file the index was made from
    } else {
      ArrangeIndex(index, sortType);
    }
    const bool built = IsKnownOrder(sortType);

    if (o.mode == Mode::List) {
      if (!built) return 0;  // an unknown order lists nothing
      PrefixDrawer drawer(index);
      if (sortType == SortOrder::ContentFolded) {
        FoldedList folded;
        folded.Build(index);
        if (o.expandAll) folded.ExpandAll(index);
        for (std::int32_t l = 0; l < folded.Count(); ++l) {
          folded.AppendLineText(index, ListLine(l), cols, drawer, output.BeginLine());
          output.EndLine();
        }
      } else {
        for (std::int32_t i = 0; i < n; ++i) {
          AppendListLine(index.GetItem(IndexPos(i)), sortType, cols, drawer, output.BeginLine());
          output.EndLine();
        }
      }
    } else if (o.mode == Mode::Index) {
      // One row per position; every field is ASCII, so both encodings give
      // the same bytes.
      constexpr std::size_t kMaxRow = 7 * 21;  // seven fields of 20 characters at most, and separators
      WriteRows(
          n, kMaxRow,
          [&index](std::int32_t i, char* p) {
            const TLogData& r = index.GetItem(IndexPos(i));
            auto field = [&p](std::int64_t v) {
              p = std::to_chars(p, p + 20, v).ptr;
              *p++ = '\t';
            };
            field(i);
            field(r.Number.v);
            field(r.CommentTo.v);
            field(r.Level);
            *p++ = r.Mark;
            *p++ = '\t';
            field(r.StartPos.v);
            field(r.EndPos.v);
            p[-1] = '\n';
            return p;
          },
          output);
    } else if (o.mode == Mode::Grep) {
      if (!keyOk) {
        err << "kest32: 検索文字列を Shift-JIS に変換できません: " << o.modeArg << "\n";
        return 2;
      }
      // The numbers in list order; ASCII, the same in either encoding.
      for (std::int32_t i = 0; i < n; ++i) {
        if (!hitById[index.IdAt(IndexPos(i))]) continue;
        std::string& row = output.BeginRawLine();
        char digits[16];
        row.append(digits, std::to_chars(digits, digits + sizeof digits, index.GetNumber(IndexPos(i)).v).ptr);
        row.push_back('\n');
        output.EndRawLine();
      }
    }
  } catch (const LogFileError& e) {
    output.Flush();
    err << "kest32: " << e.what() << "\n";
    if (!e.advice().empty()) err << "kest32: " << e.advice() << "\n";
    return 1;
  }
  output.Flush();
  out.flush();
  return 0;
}

}  // namespace kest
