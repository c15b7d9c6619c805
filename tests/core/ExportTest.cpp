// Export to text and HTML: which remarks, their text as the pane shows it,
// the files written whole or not at all, and the batch side's --export.
// The HTML's tree is checked with a real parser by tests/export/check_html.py.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <sstream>

#include "core/BatchRun.h"
#include "core/LogFixture.h"
#include "export/Export.h"
#include "export/ExportCommand.h"
#include "export/Html.h"
#include "export/RemarkBytes.h"
#include "log/RemarkHeader.h"
#include "platform/Codec.h"

namespace kest {
namespace {

namespace fs = std::filesystem;
using test::Header5;
using test::Line2;
using test::MakeLog;
using test::ReadFile;
using test::Remark;
using test::TempDir;

// The lines a walk hands on, each put together from its pieces.
class Lines final : public RemarkTextSink {
 public:
  std::vector<std::string> lines{""};
  std::size_t largest = 0;
  void Piece(std::string_view bytes) override {
    lines.back().append(bytes);
    largest = std::max(largest, bytes.size());
  }
  void LineEnd() override { lines.emplace_back(); }
};

class StringSink final : public ExportSink {
 public:
  std::string bytes;
  void Write(std::string_view b) override { bytes.append(b); }
};

// A log scanned, with the source an export takes from it.
struct Log {
  Log(const TempDir& dir, const std::string& bytes, SortOrder order = SortOrder::ContentFull,
      const std::string& name = "forum.log") {
    path = dir.Write(name, bytes);
    title = ScanLog(path, index);
    ArrangeIndex(index, order);
    source = ExportSource{path, path, title, &index, order, nullptr};
  }
  IndexPos Pos(int number, int nth = 1) const {
    for (std::int32_t p = 0; p < index.Count(); ++p) {
      if (index.GetNumber(IndexPos(p)).v == number && --nth == 0) return IndexPos(p);
    }
    return IndexPos(-1);
  }
  std::vector<int> Numbers(const ExportSelection& sel) const {
    std::vector<int> out;
    for (IndexPos p : sel.Positions()) out.push_back(sel.Index().GetNumber(p).v);
    return out;
  }
  std::string Export(const ExportSelection& sel, ExportOptions options) const {
    StringSink sink;
    WriteExport(source, sel, options, sink);
    return sink.bytes;
  }
  fs::path path;
  std::string title;
  TLogCtrl index;
  ExportSource source;
};

TEST(ExportText, WalksTheLinesTheTextPaneShows) {
  // Random bodies of CR, LF, lone CRs, 0x1A bytes, double-byte characters
  // and long lines, read through windows far smaller than a line: the lines
  // are those ReadRemarkText gives, and the span bytes those of the file
  // without the 0x1A bytes.
  const std::vector<std::string> tokens = {
      "a",        "text ",   "\r\n", "\r", "\n", "\x1A", "\x81", "\x88\x9F", std::string(300, 'x'),
      "\r\n\x1A", "\x1A\r\n"};
  std::mt19937 rng(22);
  TempDir dir;
  for (int round = 0; round < 150; ++round) {
    std::string log = "T\r\n\r\n";
    const int remarks = 1 + static_cast<int>(rng() % 4);
    for (int r = 0; r < remarks; ++r) {
      log += Header5(r + 1) + "\r\n" + Line2() + "\r\n";
      const int n = static_cast<int>(rng() % 12);
      for (int k = 0; k < n; ++k) log += tokens[rng() % tokens.size()];
      if (rng() % 2) log += "\r\n";
    }
    const fs::path path = dir.Write("r.log", log);
    TLogCtrl index;
    ScanLog(path, index);
    LogBytes bytes(path, 16, 3);
    for (std::int32_t p = 0; p < index.Count(); ++p) {
      const TLogData& rec = index.GetItem(IndexPos(p));
      Lines shown;
      WalkShownLines(bytes, rec, shown);
      shown.lines.pop_back();  // the line after the last line end
      ASSERT_EQ(shown.lines, LoadRemarkText(path, index, IndexPos(p)).lines) << ::testing::PrintToString(log);

      Lines span;
      WalkSpanBytes(bytes, rec, span);
      std::string expected = log.substr(static_cast<std::size_t>(rec.StartPos.v),
                                        static_cast<std::size_t>(rec.EndPos - rec.StartPos));
      std::erase(expected, '\x1A');
      ASSERT_EQ(span.lines.front(), expected);
    }
  }
}

TEST(ExportText, ALongLineComesInBoundedPieces) {
  TempDir dir;
  const std::string line(3 * kMaxPiece + 17, 'y');
  const fs::path path = dir.Write("l.log", Remark(Header5(1), Line2(), {line, "end"}));
  TLogCtrl index;
  ScanLog(path, index);
  LogBytes bytes(path);
  Lines shown;
  WalkShownLines(bytes, index.GetItem(IndexPos(0)), shown);
  EXPECT_EQ(shown.lines[1], line);
  EXPECT_EQ(shown.lines[2], "end");
  EXPECT_LE(shown.largest, kMaxPiece);
}

TEST(ExportSelect, ThreadsOfFansChainsRepeatedNumbersAndMissingParents) {
  TempDir dir;
  // A fan of replies to 1 (one reply with a reply of its own), a chain
  // 10 <- 11 <- 12 <- 13, a reply to 30, which is not in the log, with its
  // own reply, and the numbers 1 and 2 again where they wrapped around.
  Log log(dir, MakeLog({{1, 0},
                        {2, 1},
                        {3, 1},
                        {4, 1},
                        {5, 3},
                        {10, 0},
                        {11, 10},
                        {12, 11},
                        {13, 12},
                        {20, 30},
                        {21, 20},
                        {1, 0},
                        {2, 1}}));
  auto thread = [&](int number, int nth = 1) {
    return log.Numbers(SelectRemarks(log.source, ExportScope::Thread, log.Pos(number, nth)));
  };
  EXPECT_EQ(thread(4), (std::vector<int>{1, 2, 3, 5, 4}));  // from a reply: the whole fan
  EXPECT_EQ(thread(1), thread(5));
  EXPECT_EQ(thread(12), (std::vector<int>{10, 11, 12, 13}));
  EXPECT_EQ(thread(21), (std::vector<int>{20, 21}));  // its parent missing, 20 heads a thread
  EXPECT_EQ(thread(2, 2), (std::vector<int>{1, 2}));  // the second 2 answers the second 1
  EXPECT_EQ(SelectRemarks(log.source, ExportScope::Thread, log.Pos(2, 2)).Positions().front(), log.Pos(1, 2));
  EXPECT_EQ(log.Numbers(SelectRemarks(log.source, ExportScope::Remark, log.Pos(11))), std::vector<int>{11});

  const ExportSelection chain = SelectRemarks(log.source, ExportScope::Thread, log.Pos(13));
  EXPECT_TRUE(chain.Tree());
  EXPECT_EQ(&chain.Index(), &log.index);  // taken from the index as it stands
  EXPECT_EQ(chain.Index().GetLevel(chain.Positions().back()), 2);
}

TEST(ExportSelect, AThreadOfAnIndexNotInContentOrderLeavesThatOrderAlone) {
  TempDir dir;
  Log log(dir, test::ThreadLog(), SortOrder::Remark);
  std::vector<std::int64_t> before;
  for (std::int32_t p = 0; p < log.index.Count(); ++p)
    before.push_back(log.index.GetItem(IndexPos(p)).StartPos.v);

  const ExportSelection sel = SelectRemarks(log.source, ExportScope::Thread, log.Pos(6));
  EXPECT_NE(&sel.Index(), &log.index);
  EXPECT_EQ(log.Numbers(sel), (std::vector<int>{1, 2, 4, 6, 3, 5}));
  EXPECT_TRUE(sel.Tree());
  for (std::int32_t p = 0; p < log.index.Count(); ++p) {
    EXPECT_EQ(log.index.GetItem(IndexPos(p)).StartPos.v, before[static_cast<std::size_t>(p)]);
    EXPECT_EQ(log.index.GetLevel(IndexPos(p)), -1);
  }
  // The log changed since the scan: the remark is no longer where it was.
  const TLogData& six = log.index.GetItem(log.Pos(6));
  dir.Write("forum.log", "T\r\n\r\n" + Remark(Header5(1), Line2()));
  EXPECT_THROW(SelectRemarks(log.source, ExportScope::Thread, log.index.FindNumber(six.Number)),
               LogFileError);
}

TEST(ExportSelect, TheTitleListAsItStandsAndTheWholeLog) {
  TempDir dir;
  Log log(dir, test::ThreadLog(), SortOrder::ContentFolded);
  FoldedList folded;
  folded.Build(log.index);
  folded.ToggleFold(log.index, ListLine(0));  // 1 unfolded: 2, 3, 5 on lines of their own, 4 and 6 under 2
  log.source.folded = &folded;
  const ExportSelection list = SelectRemarks(log.source, ExportScope::List);
  EXPECT_EQ(log.Numbers(list), (std::vector<int>{1, 2, 4, 6, 3, 5, 7, 8}));
  EXPECT_TRUE(list.Tree());
  EXPECT_EQ(log.Numbers(SelectRemarks(log.source, ExportScope::Log)), log.Numbers(list));

  Log byNumber(dir, MakeLog({{3, 0}, {1, 0}, {2, 1}, {4, 0}}), SortOrder::Remark, "other.log");
  const ExportSelection all = SelectRemarks(byNumber.source, ExportScope::Log);
  EXPECT_EQ(byNumber.Numbers(all), (std::vector<int>{3, 1, 2, 4}));  // position 0 stays, as in the list
  EXPECT_FALSE(all.Tree());
  byNumber.source.order = static_cast<SortOrder>(7);  // an order that lists nothing
  EXPECT_EQ(SelectRemarks(byNumber.source, ExportScope::List).Count(), 0);
  EXPECT_EQ(SelectRemarks(byNumber.source, ExportScope::Log).Count(), 4);

  EXPECT_THROW(SelectRemarks(log.source, ExportScope::Remark, IndexPos(8)), ExportError);
  EXPECT_THROW(SelectRemarks(log.source, ExportScope::Thread, IndexPos(-1)), ExportError);
  EXPECT_THROW(SelectRemarks(ExportSource{}, ExportScope::Log), ExportError);
}

TEST(ExportText, HeaderLinePaneLinesAndABlankLineBetween) {
  TempDir dir;
  const std::string log = "T\r\n\r\n" +
                          Remark(Header5(1, "AAA00001", KEST_SJIS("さくら"), KEST_SJIS("桜")), Line2(),
                                 {KEST_SJIS("春です"),
                                  "a\x1A"
                                  "b",
                                  "bad \x81 byte", std::string("nul\0lf\n", 7)}) +
                          Remark(Header5(2), Line2("96/03/02", 1), {"last"});
  Log l(dir, log);
  auto header = [](const Log& in, int pos) { return HeaderLine(HeaderOf(in.index.GetItem(IndexPos(pos)))); };
  EXPECT_EQ(SjisToUtf8(header(l, 0)),
            "1  ID: AAA00001  発言者: さくら" + std::string(10, ' ') + "  ﾀｲﾄﾙ: 桜");
  const ExportSelection sel = SelectRemarks(l.source, ExportScope::Log);
  EXPECT_EQ(l.Export(sel, {ExportFormat::Text}),
            SjisToUtf8(header(l, 0)) + "\n" + Line2() + "\n春です\nab\nbad 〓 byte\nnul〓lf〓\n\n" +
                SjisToUtf8(header(l, 1)) + "\n" + Line2("96/03/02", 1) +
                "\nlast\n\n");  // the last remark ends with the pane's empty line

  // Shift-JIS: the bytes of the log, CR LF, the 0x1A mark left out; a last
  // line without its line end gets one.
  Log cut(dir, log.substr(0, log.size() - 2), SortOrder::ContentFull, "cut.log");
  EXPECT_EQ(cut.Export(SelectRemarks(cut.source, ExportScope::Log), {ExportFormat::Text, true}),
            header(cut, 0) + "\r\n" + Line2() + "\r\n" + KEST_SJIS("春です") + "\r\nab\r\nbad \x81 byte\r\n" +
                std::string("nul\0lf\n", 7) + "\r\n\r\n" + header(cut, 1) + "\r\n" + Line2("96/03/02", 1) +
                "\r\nlast\r\n");
  // A last line that ends with a lone LF has no line end of the log's kind.
  Log lf(dir, log.substr(0, log.size() - 2) + "\n", SortOrder::ContentFull, "lf.log");
  const std::string lfText =
      lf.Export(SelectRemarks(lf.source, ExportScope::Remark, IndexPos(1)), {ExportFormat::Text, true});
  EXPECT_EQ(lfText.substr(lfText.size() - 7), "last\n\r\n");
}

TEST(ExportText, InUtf8BackToShiftJisIsWhatShowGives) {
  TempDir dir;
  const std::string log = "T\r\n\r\n" +
                          Remark(Header5(1, "AAA00001", KEST_SJIS("さくら"), KEST_SJIS("桜の話")), Line2(),
                                 {KEST_SJIS("春ですね。①┗"), "", "  indented"}) +
                          Remark(Header5(2), Line2("96/03/02", 1), {"> quote", "reply"}) +
                          Remark(Header5(3), Line2("96/03/03"), {"other"}) +
                          Remark(Header5(4), Line2("96/03/04", 2), {KEST_SJIS("ｶﾅ"), "end"});
  const fs::path path = dir.Write("forum.log", log);
  const fs::path ini = dir.Path() / "Kest.INI";
  auto crlf = [](const std::string& lf) {
    std::string s;
    for (char c : lf) {
      if (c == '\n') s.push_back('\r');
      s.push_back(c);
    }
    return s;
  };
  const test::Result exported = test::RunKest32(dir.Path(), ini, "--export=text --thread=2 " + path.string());
  ASSERT_EQ(exported.status, 0) << exported.err;
  std::string shown;
  for (int n : {1, 2, 4}) {
    if (!shown.empty()) shown += "\r\n";
    shown += crlf(test::RunKest32(dir.Path(), ini,
                                  "--encoding=shift_jis --show " + std::to_string(n) + " " + path.string())
                      .out);
  }
  EXPECT_EQ(crlf(Utf8ToSjis(exported.out)), shown);
}

TEST(ExportHtml, TextIsEscapedAndTheAnchorsAreUnique) {
  TempDir dir;
  Log log(dir,
          "<T&>\r\n\r\n" +
              Remark(Header5(1, "AAA00001", "a<b>", "</h2><script>x</script>"), Line2(),
                     {"</pre><script>alert('x')</script> & &amp; \"q\"", "bad \x81 byte", "esc\x1b[0m"}) +
              Remark(Header5(2), Line2("96/03/02", 1)) + Remark(Header5(1), Line2("96/03/03")) +
              Remark(Header5(2), Line2("96/03/04", 1)) + Remark(Header5(3), Line2("96/03/05", 9)));
  const std::string page = log.Export(SelectRemarks(log.source, ExportScope::Log), {});
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_NE(page.find("<title>&lt;T&amp;&gt;</title>"), std::string::npos);
  EXPECT_NE(
      page.find("&lt;/pre&gt;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &amp;amp; &quot;q&quot;"),
      std::string::npos);
  EXPECT_NE(page.find("bad 〓 byte"), std::string::npos);
  EXPECT_NE(page.find("esc〓[0m"), std::string::npos);
  EXPECT_NE(page.find("<html lang=\"ja\">"), std::string::npos);
  // The second 1 and 2 are told apart, and the second 2 links to the second 1.
  for (const char* id : {"id=\"r00001\"", "id=\"r00001-2\"", "id=\"r00002\"", "id=\"r00002-2\""}) {
    EXPECT_NE(page.find(id), std::string::npos) << id;
  }
  const std::size_t second2 = page.find("id=\"r00002-2\"");
  EXPECT_NE(page.find("<a href=\"#r00001-2\">1</a> へのコメント", second2), std::string::npos);

  // In remark order the page is flat, and a reply links to the last remark
  // of its number before it in the file.
  Log flat(dir, ReadFile(log.path), SortOrder::Remark);
  const std::string flatPage = flat.Export(SelectRemarks(flat.source, ExportScope::Log), {});
  EXPECT_EQ(flatPage.find("<ul>"), std::string::npos);
  EXPECT_NE(flatPage.find("<a href=\"#r00001-2\">1</a> へのコメント", flatPage.find("id=\"r00002-2\"")),
            std::string::npos);
  EXPECT_NE(flatPage.find("<a href=\"#r00001\">1</a> へのコメント", flatPage.find("id=\"r00002\"")),
            std::string::npos);
  EXPECT_NE(flatPage.find("→ 9 へのコメント"), std::string::npos);  // not in the page: no link
}

TEST(ExportHtml, EscapesAnchorsAndWhatThePageSaysItHolds) {
  // Escaping in place gives what escaping into a new string gives, wherever
  // the byte to replace stands among the eight-byte steps.
  for (std::size_t length = 0; length < 20; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      std::string text(length, 'a');
      if (at < length) text[at] = '<';
      text += "漢字&";
      std::string expected = "pre:";
      AppendHtmlEscaped(text, expected);
      std::string inPlace = "pre:" + text;
      MapInPlace(inPlace, 4, HtmlByteMap());
      ASSERT_EQ(inPlace, expected) << length << " " << at;
    }
  }
  EXPECT_EQ(HtmlEscaped("a\tb\x01\x7F<&>\"'"), "a\tb〓〓&lt;&amp;&gt;&quot;&#39;");
  std::string anchors;
  AppendAnchor(RemarkNo(301), 1, anchors);
  anchors += ' ';
  AppendAnchor(RemarkNo(301), 2, anchors);
  anchors += ' ';
  AppendAnchor(RemarkNo(123456), 1, anchors);
  anchors += ' ';
  AppendAnchor(RemarkNo(-12), 3, anchors);
  anchors += ' ';
  AppendAnchor(RemarkNo(0), 1, anchors);
  EXPECT_EQ(anchors, "r00301 r00301-2 r123456 rm00012-3 r00000");

  TempDir dir;
  Log log(dir, test::ThreadLog(), SortOrder::ContentFolded);
  auto about = [&](ExportScope scope, IndexPos p) {
    const std::string page = log.Export(SelectRemarks(log.source, scope, p), {});
    const std::size_t at = page.find("<p class=\"about\">") + 17;
    return page.substr(at, page.find("</p>", at) - at);
  };
  EXPECT_EQ(about(ExportScope::Thread, log.Pos(6)), "発言 1 のスレッド（6 件）");
  EXPECT_EQ(about(ExportScope::Remark, log.Pos(6)), "発言 6");
  EXPECT_EQ(about(ExportScope::Log, IndexPos(-1)), "全発言 8 件（内容順）");
  EXPECT_EQ(about(ExportScope::List, IndexPos(-1)), "タイトル一覧の発言 8 件（内容順）");
  log.source.order = SortOrder::Remark;  // the same records: only the name of the order changes
  EXPECT_EQ(about(ExportScope::Log, IndexPos(-1)), "全発言 8 件（発言順）");
}

TEST(ExportHtml, ChainsNestNoDeeperThanTheLimit) {
  TempDir dir;
  std::string bytes = "T\r\n\r\n";
  for (int n = 1; n <= 60; ++n) bytes += Remark(Header5(n), Line2("96/03/01", n - 1));
  Log log(dir, bytes);
  const std::string page = log.Export(SelectRemarks(log.source, ExportScope::Thread, log.Pos(60)), {});
  int depth = 0, deepest = 0;
  for (std::size_t at = 0; (at = page.find('<', at)) != std::string::npos; ++at) {
    if (page.compare(at, 3, "<ul") == 0) deepest = std::max(deepest, ++depth);
    if (page.compare(at, 5, "</ul>") == 0) --depth;
  }
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(deepest, 33);  // the page's list and 32 levels of replies
  EXPECT_NE(page.find("<a href=\"#r00059\">59</a> へのコメント"), std::string::npos);
}

TEST(ExportFile, ProgressCancelAndTheTargetReplacedOnlyWhenWhole) {
  TempDir dir;
  Log log(dir, test::ThreadLog());
  const fs::path target = dir.Write("out.html", "old");
  ::chmod(target.c_str(), 0640);
  const ExportSelection sel = SelectRemarks(log.source, ExportScope::Log);
  auto leftovers = [&] {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir.Path())) n += e.path().filename().string()[0] == '.';
    return n;
  };

  std::vector<int> told;
  ExportResult r = ExportToFile(log.source, sel, {}, target, [&](int p) {
    told.push_back(p);
    return p < 50;
  });
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(leftovers(), 0);
  EXPECT_EQ(told.front(), 0);

  told.clear();
  r = ExportToFile(log.source, sel, {}, target, [&](int p) {
    told.push_back(p);
    return true;
  });
  EXPECT_FALSE(r.cancelled);
  EXPECT_EQ(r.remarks, 8);
  EXPECT_EQ(static_cast<std::uint64_t>(r.bytes), fs::file_size(target));
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
  EXPECT_EQ(told.back(), 100);
  struct stat st {};
  ::stat(target.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the file's permissions are kept
  EXPECT_EQ(leftovers(), 0);

  // A disk that fills up half-way: the old file stays, nothing is left over.
  const fs::path old = dir.Write("full.txt", "old");
  {
    ExportFile file(old, [](int, const void*, std::size_t n) -> ssize_t {
      errno = ENOSPC;
      return n > 4 ? -1 : static_cast<ssize_t>(n);
    });
    file.Write("abc");
    EXPECT_THROW(file.Write("much more"), ExportError);
  }
  EXPECT_EQ(ReadFile(old), "old");
  EXPECT_EQ(leftovers(), 0);

  // The log read since its scan has become shorter: no file at all.
  dir.Write("forum.log", ReadFile(log.path).substr(0, 200));
  EXPECT_THROW(ExportToFile(log.source, sel, {}, dir.Path() / "short.html"), LogFileError);
  EXPECT_FALSE(fs::exists(dir.Path() / "short.html"));
  EXPECT_EQ(leftovers(), 0);
}

TEST(ExportFile, TargetsAsTheShellWouldTakeThem) {
  TempDir dir;
  Log log(dir, test::ThreadLog());
  const ExportSelection sel = SelectRemarks(log.source, ExportScope::Remark, log.Pos(1));
  // A symbolic link is written through, and stays a link.
  const fs::path real = dir.Write("real.txt", "old");
  fs::create_symlink("real.txt", dir.Path() / "link.txt");
  ExportToFile(log.source, sel, {ExportFormat::Text}, dir.Path() / "link.txt");
  EXPECT_TRUE(fs::is_symlink(dir.Path() / "link.txt"));
  EXPECT_EQ(ReadFile(real).substr(0, 3), "1  ");
  // A device is written in place, never replaced.
  ExportToFile(log.source, sel, {ExportFormat::Text}, "/dev/null");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  // Refused: a folder, a file without write permission, the log itself.
  EXPECT_THROW(ExportToFile(log.source, sel, {}, dir.Path()), ExportError);
  const fs::path locked = dir.Write("locked.txt", "keep");
  ::chmod(locked.c_str(), 0444);
  EXPECT_THROW(ExportToFile(log.source, sel, {}, locked), ExportError);
  EXPECT_EQ(ReadFile(locked), "keep");
  EXPECT_THROW(ExportToFile(log.source, sel, {}, log.path), ExportError);
  ExportSource copy = log.source;
  copy.logPath = dir.Path() / "original.log";
  EXPECT_THROW(ExportToFile(copy, sel, {}, log.path), ExportError);  // the copy that is read
  EXPECT_EQ(ReadFile(log.path), test::ThreadLog());
  EXPECT_THROW(ExportToFile(log.source, sel, {}, dir.Path() / "no-such-folder" / "x.html"), ExportError);
  // A new file gets the permissions the umask leaves.
  const mode_t old = ::umask(027);
  ExportToFile(log.source, sel, {}, dir.Path() / "new.html");
  ::umask(old);
  struct stat st {};
  ::stat((dir.Path() / "new.html").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // A stream that cannot be written.
  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  StreamSink sink(broken);
  EXPECT_THROW(WriteExport(log.source, sel, {}, sink), ExportError);
}

TEST(ExportFile, SuggestedNames) {
  TempDir dir;
  Log log(dir, test::ThreadLog());
  auto name = [&](ExportScope scope, IndexPos p, ExportFormat f) {
    return SuggestedExportName(log.source, SelectRemarks(log.source, scope, p), {f}).string();
  };
  EXPECT_EQ(name(ExportScope::Log, IndexPos(-1), ExportFormat::Html), "forum.html");
  EXPECT_EQ(name(ExportScope::List, IndexPos(-1), ExportFormat::Text), "forum-list.txt");
  EXPECT_EQ(name(ExportScope::Thread, log.Pos(4), ExportFormat::Html), "forum-thread-00001.html");
  EXPECT_EQ(name(ExportScope::Remark, log.Pos(4), ExportFormat::Text), "forum-00004.txt");
}

class ExportBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = dir_.Write("forum.log", MakeLog({{1, 0}, {2, 1}, {4, 2}, {3, 0}, {1, 0}, {2, 1}})).string();
  }
  test::Result Run(const std::string& args) {
    return test::RunKest32(dir_.Path(), dir_.Path() / "Kest.INI", args);
  }
  static int Count(const std::string& s, const std::string& what) {
    int n = 0;
    for (std::size_t at = 0; (at = s.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
  }
  TempDir dir_;
  std::string log_;
};

TEST_F(ExportBatch, WhatIsExportedAndWhere) {
  // The first remark of a number in the file, as --show takes it.
  const test::Result thread = Run("--export=text --thread=2 " + log_);
  EXPECT_EQ(thread.status, 0);
  EXPECT_EQ(Count(thread.out, "ﾀｲﾄﾙ: "), 3);  // 1, 2 and 4: the second 1 and 2 are a thread of their own
  EXPECT_EQ(thread.out.find("1  ID:"), 0u);
  EXPECT_NE(thread.out.find("\n4  ID:"), std::string::npos);
  const test::Result one = Run("--export text --remark=3 " + log_);
  EXPECT_EQ(Count(one.out, "ﾀｲﾄﾙ: "), 1);
  EXPECT_EQ(Count(Run("--export=html " + log_).out, "<article "), 6);

  const test::Result toFile =
      Run("--export=text --encoding=shift_jis -o " + (dir_.Path() / "t.txt").string() + " " + log_);
  EXPECT_EQ(toFile.status, 0);
  EXPECT_EQ(toFile.out, "");
  const std::string sjis = ReadFile(dir_.Path() / "t.txt");
  EXPECT_EQ(sjis.rfind("1  ID: ABC01234  " + KEST_SJIS("発言者: "), 0), 0u);
  EXPECT_EQ(Count(sjis, "\r\n"), Count(sjis, "\n"));
  EXPECT_EQ(Run("--export=html --output=" + (dir_.Path() / "t.txt").string() + " " + log_).status, 0);
  EXPECT_EQ(ReadFile(dir_.Path() / "t.txt").substr(0, 15), "<!DOCTYPE html>");

  const test::Result missing =
      Run("--export=html --remark=9 -o " + (dir_.Path() / "m.html").string() + " " + log_);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("発言 9 はこのログにありません"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_.Path() / "m.html"));
  EXPECT_EQ(Run("--export=text -o " + log_ + " " + log_).status, 1);  // never over the log
  EXPECT_NE(ReadFile(log_).find("body 4"), std::string::npos);
}

TEST_F(ExportBatch, UsageErrors) {
  for (const char* args : {"--export=pdf", "--export=text --thread=1 --remark=2", "--list --thread=1",
                           "--list -o x", "--export=html --encoding=shift_jis", "--export=text --thread=1a",
                           "--export=text -o", "--show 1 --remark=1"}) {
    const test::Result r = Run(std::string(args) + " " + log_);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("使い方"), std::string::npos) << args;
  }
}

}  // namespace
}  // namespace kest
