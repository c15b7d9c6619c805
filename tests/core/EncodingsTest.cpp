// Logs that have travelled: recognising their encoding and line ends, the
// native Shift-JIS CR LF copy, the cache folder that keeps it, and what
// happens when the original changes, the cache cannot be written or the
// disk fills up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <set>

#include "core/LogFixture.h"
#include "log/LogForm.h"
#include "log/Logunit1.h"
#include "log/NativeCopy.h"
#include "log/TitleLines.h"
#include "platform/Codec.h"

namespace kest {
namespace {

namespace fs = std::filesystem;
using test::Header5;
using test::Line2;
using test::Remark;
using test::TempDir;

std::string Sjis(const char* utf8) { return Utf8ToSjis(utf8); }

// Shift-JIS to another encoding, as the usual conversion tools do it.
std::string Iconv(const std::string& in, const char* to, const char* from = "CP932") {
  iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char* dst = out.data();
  std::size_t dstLeft = out.size();
  EXPECT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<std::size_t>(-1));
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return out;
}
std::string ToUtf8(const std::string& sjis) { return Iconv(sjis, "UTF-8"); }
std::string ToEuc(const std::string& sjis) { return Iconv(sjis, "EUC-JP-MS"); }

// CR LF to LF, or to CR.
std::string Ends(std::string s, const std::string& end) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      out += end;
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A log of Japanese remarks with replies, a 0x1A byte inside a body and the
// NEC and IBM characters the conversion tools carry in their own ways.
std::string JapaneseLog(int remarks = 6) {
  std::string s = Sjis("ＦＪＩＳＡＫ　会議室３　ログ（96/03/01～96/04/10）") + "\r\n\r\n";
  for (int n = 1; n <= remarks; ++n) {
    s += Remark(Header5(n, "ABC0123" + std::to_string(n % 10), Sjis("ぽんた"), Sjis("Re:はじめての自作、パーツ選び")),
                Line2("96/03/0" + std::to_string(n % 9 + 1), n > 1 ? (n + 1) / 2 : 0),
                {Sjis("こんばんは、ぽんたです。①Ⅱ㈱～－∥￢"), "plain ascii \x1A after the mark",
                 Sjis("ﾃﾞﾝｼﾞﾛｰの半角カナも。")});
  }
  return s;
}

LogForm Form(LogEncoding e, LineEnd l, bool bom = false) {
  LogForm f;
  f.encoding = e;
  f.lineEnd = l;
  f.bom = bom;
  return f;
}

// ---------------------------------------------------------------------------
// Detection

TEST(LogFormTest, EveryEncodingAndLineEndOfOneLog) {
  const std::string sjis = JapaneseLog();
  EXPECT_TRUE(DetectLogForm(sjis, true).Native());
  EXPECT_EQ(DetectLogForm(Ends(sjis, "\n"), true), Form(LogEncoding::ShiftJis, LineEnd::Lf));
  EXPECT_EQ(DetectLogForm(Ends(sjis, "\r"), true), Form(LogEncoding::ShiftJis, LineEnd::Cr));
  EXPECT_EQ(DetectLogForm(ToUtf8(sjis), true), Form(LogEncoding::Utf8, LineEnd::CrLf));
  EXPECT_EQ(DetectLogForm(Ends(ToUtf8(sjis), "\n"), true), Form(LogEncoding::Utf8, LineEnd::Lf));
  EXPECT_EQ(DetectLogForm("\xEF\xBB\xBF" + Ends(ToUtf8(sjis), "\r"), true), Form(LogEncoding::Utf8, LineEnd::Cr, true));
  EXPECT_EQ(DetectLogForm(ToEuc(sjis), true), Form(LogEncoding::EucJp, LineEnd::CrLf));
  EXPECT_EQ(DetectLogForm(Ends(ToEuc(sjis), "\n"), true), Form(LogEncoding::EucJp, LineEnd::Lf));
}

TEST(LogFormTest, ShortFilesAndPlainAscii) {
  EXPECT_TRUE(DetectLogForm("", true).Native());
  EXPECT_TRUE(DetectLogForm("one line without an end", true).Native());
  EXPECT_TRUE(DetectLogForm("ascii\r\nonly\r\n", true).Native());
  EXPECT_EQ(DetectLogForm("ascii\nonly\n", true), Form(LogEncoding::ShiftJis, LineEnd::Lf));
  // One character in each encoding.
  EXPECT_TRUE(DetectLogForm(Sjis("あ"), true).Native());
  EXPECT_EQ(DetectLogForm("\xE3\x81\x82", true).encoding, LogEncoding::Utf8);
  EXPECT_EQ(DetectLogForm("\xA4\xA2", true).encoding, LogEncoding::EucJp);
  EXPECT_EQ(DetectLogForm(Sjis("漢字"), true).encoding, LogEncoding::ShiftJis);
  EXPECT_EQ(DetectLogForm(ToEuc(Sjis("ひらがなの文")), true).encoding, LogEncoding::EucJp);
}

TEST(LogFormTest, AmbiguousBytesStayShiftJis) {
  // Half-width kana pairs are valid EUC-JP kanji and valid UTF-8 two-byte
  // characters too; without kana rows or three-byte characters they stay
  // the native encoding.
  EXPECT_TRUE(DetectLogForm(Sjis("ﾃﾞﾝｼﾞﾛｰ ｱｲｳｴｵ\r\n"), true).Native());
  EXPECT_TRUE(DetectLogForm(Sjis("ﾄｰ\r\n"), true).Native());  // C4 B0: also UTF-8 "İ"
  // Two-byte UTF-8 that is no clean Shift-JIS is UTF-8 all the same.
  EXPECT_EQ(DetectLogForm("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\n", true).encoding,
            LogEncoding::Utf8);  // "Привет"
}

TEST(LogFormTest, LooksPastTheFirstLine) {
  // An ASCII title and Japanese only later, beyond the first kilobytes.
  std::string log = "Forum log\r\n\r\n";
  while (log.size() < 20000) log += Remark(Header5(1, "ABC01234", "ascii", "only"), Line2(), {"nothing yet"});
  log += Remark(Header5(2), Line2(), {Sjis("ここで初めて日本語")});
  EXPECT_TRUE(DetectLogForm(log, true).Native());
  EXPECT_EQ(DetectLogForm(ToUtf8(log), true).encoding, LogEncoding::Utf8);
  EXPECT_EQ(DetectLogForm(ToEuc(log), true).encoding, LogEncoding::EucJp);
  // The line ends are counted over the whole sample too: a CR LF log with a
  // lone LF in one body stays native, an LF log with one CR LF is LF.
  EXPECT_TRUE(DetectLogForm(log + "a\nb\r\n", true).Native());
  EXPECT_EQ(DetectLogForm(Ends(log, "\n") + "a\r\n", true).lineEnd, LineEnd::Lf);
}

TEST(LogFormTest, SampleCutInsideACharacterAndInvalidBytes) {
  const std::string utf8 = ToUtf8(JapaneseLog());
  // A sample that ends inside a character is not a fault: the rest is in
  // the file. The same bytes as a whole file have a fault at their end.
  std::string cut = utf8.substr(0, utf8.find("\xE3\x81\x93") + 2);  // "こ" cut after two bytes
  EXPECT_EQ(DetectLogForm(cut, false).encoding, LogEncoding::Utf8);
  EXPECT_EQ(DetectLogForm("\xA4\xA2\xA4", false).encoding, LogEncoding::EucJp);  // "あ" and half of "い"
  EXPECT_EQ(DetectLogForm("\xE3\x81\x82\xE3\x81", false).encoding, LogEncoding::Utf8);
  // A few invalid sequences in the middle of otherwise good text.
  std::string broken = utf8;
  broken.insert(broken.size() / 2, "\xFF\xC3(");
  EXPECT_EQ(DetectLogForm(broken, true).encoding, LogEncoding::Utf8);
  std::string euc = ToEuc(JapaneseLog());
  euc.insert(euc.size() / 2, "\x80\xA1");
  EXPECT_EQ(DetectLogForm(euc, true).encoding, LogEncoding::EucJp);
}

// Bytes that look like UTF-8 and are none (an overlong form, a surrogate,
// a form beyond U+10FFFF) are faults: ten good characters with one of them
// are no UTF-8 text. The characters at the very edges of the valid ranges
// are good ones.
TEST(LogFormTest, Utf8ValidityAtTheEdgesOfItsRanges) {
  std::string good;
  for (int i = 0; i < 10; ++i) good += "\xE3\x81\x82";  // あ
  for (const char* bad : {"\xE0\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
                          "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(bad)));
    EXPECT_NE(DetectLogForm(good + bad + "\r\n", true).encoding, LogEncoding::Utf8);
  }
  for (const char* edge : {"\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xF0\x90\x80\x80",
                           "\xF4\x8F\xBF\xBF"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(edge)));
    EXPECT_EQ(DetectLogForm(good + edge + "\r\n", true).encoding, LogEncoding::Utf8);
  }
}

// 0x9F is the last lead byte of the first range of Shift-JIS. Text that
// reads as EUC-JP too (its bytes are half-width kana in Shift-JIS) stays
// Shift-JIS while it reads as Shift-JIS without a fault; a character led by
// 0x9F is no fault.
TEST(LogFormTest, ShiftJisLeadByte9FIsNoFault) {
  std::string both;
  for (int i = 0; i < 100; ++i) both += "\xB0\xA1";  // EUC-JP 亜, Shift-JIS ｰ｡
  EXPECT_TRUE(DetectLogForm(both + "\r\n", true).Native());
  EXPECT_TRUE(DetectLogForm(both + "\x9F\x40\r\n", true).Native());
  EXPECT_TRUE(DetectLogForm(both + "\x81\x40\r\n", true).Native());
  // A byte that leads nothing in Shift-JIS is a fault there: EUC-JP then.
  EXPECT_EQ(DetectLogForm(both + "\xA0\r\n", true).encoding, LogEncoding::EucJp);
}

// An EUC-JP character cut by the end of the sample is not a fault; one cut
// by the end of the file is. A character that ends right at the sample's
// end is whole.
TEST(LogFormTest, EucJpCharacterAtTheEndOfTheSample) {
  EXPECT_EQ(DetectLogForm("\xA4\xA2", false).encoding, LogEncoding::EucJp);  // あ, whole at the end
  EXPECT_EQ(DetectLogForm("\xA4\xA2\x8F\xB0", false).encoding, LogEncoding::EucJp);  // あ, a 3-byte one cut
  EXPECT_NE(DetectLogForm("\xA4\xA2\x8F\xB0", true).encoding, LogEncoding::EucJp);
  std::string kana;
  for (int i = 0; i < 60; ++i) kana += "\xA4\xA2";
  EXPECT_EQ(DetectLogForm(kana + "\x8F\xB0", false).encoding, LogEncoding::EucJp);
}

TEST(LogFormTest, BinaryFilesAreNative) {
  std::string bin;
  for (int i = 0; i < 4096; ++i) bin += static_cast<char>((i * 7919) % 256);
  LogForm f = DetectLogForm(bin, true);
  EXPECT_TRUE(f.binary);
  EXPECT_TRUE(f.Native());
  // UTF-16 holds NUL bytes: plainly not a log's text.
  EXPECT_TRUE(DetectLogForm(std::string("a\0b\0\n\0", 6), true).Native());
  // Control bytes of a terminal capture are text.
  EXPECT_FALSE(DetectLogForm("\x1B[0mtext\x1A\r\n\f\ttab\r\n", true).binary);
}

TEST(LogFormTest, NamesOfEncodings) {
  EXPECT_EQ(EncodingFromName("shift_jis"), LogEncoding::ShiftJis);
  EXPECT_EQ(EncodingFromName("CP932"), LogEncoding::ShiftJis);
  EXPECT_EQ(EncodingFromName("EUC-JP"), LogEncoding::EucJp);
  EXPECT_EQ(EncodingFromName("utf8"), LogEncoding::Utf8);
  EXPECT_EQ(EncodingFromName("auto"), std::nullopt);
  EXPECT_EQ(EncodingFromName("latin1"), std::nullopt);
  EXPECT_EQ(DescribeLogForm(Form(LogEncoding::Utf8, LineEnd::Lf, true)), "UTF-8（BOM付き）・LF");
  EXPECT_EQ(DescribeLogForm(Form(LogEncoding::EucJp, LineEnd::CrLf)), "EUC-JP・CR LF");
}

// ---------------------------------------------------------------------------
// Conversion

class NativeCopyTest : public ::testing::Test {
 protected:
  NativeCopyOptions Options() {
    NativeCopyOptions o;
    o.cacheDir = cache_;
    return o;
  }
  std::set<std::string> CacheFiles() {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(cache_, ec)) names.insert(e.path().filename().string());
    return names;
  }

  TempDir dir_;
  fs::path cache_ = dir_.Path() / "cache" / "kest32";
};

// Every travelled form of a log converts back to exactly its bytes: the
// same lines, remarks, threads and texts, through blocks that cut
// characters and line ends anywhere.
TEST_F(NativeCopyTest, EveryFormConvertsBackByteForByte) {
  const std::string sjis = JapaneseLog(40);
  const std::pair<const char*, std::string> forms[] = {
      {"sjis-lf", Ends(sjis, "\n")},
      {"sjis-cr", Ends(sjis, "\r")},
      {"utf8-crlf", ToUtf8(sjis)},
      {"utf8-lf", Ends(ToUtf8(sjis), "\n")},
      {"utf8-bom-cr", "\xEF\xBB\xBF" + Ends(ToUtf8(sjis), "\r")},
      {"euc-crlf", ToEuc(sjis)},
      {"euc-lf", Ends(ToEuc(sjis), "\n")},
      {"euc-cr", Ends(ToEuc(sjis), "\r")},
  };
  for (const auto& [name, bytes] : forms) {
    for (std::size_t block : {std::size_t(4) << 20, std::size_t(16), std::size_t(17)}) {
      SCOPED_TRACE(std::string(name) + " block " + std::to_string(block));
      NativeCopyOptions o = Options();
      o.blockSize = block;
      fs::path p = dir_.Write(std::string(name) + std::to_string(block) + ".log", bytes);
      NativeLog log = OpenNativeLog(p, o);
      EXPECT_TRUE(log.Converted());
      EXPECT_TRUE(log.Fresh());
      EXPECT_EQ(log.Counts(), ConversionCounts{});
      EXPECT_EQ(ReadAll(log.ReadPath()), sjis);
      EXPECT_EQ(ReadAll(p), bytes);  // the original is never written
    }
  }
}

TEST_F(NativeCopyTest, SamplesReadAsTheOriginal) {
  const fs::path samples = fs::path(KEST_SOURCE_DIR) / "samples";
  const std::string original = ReadAll(samples / "sample.log");
  TLogCtrl native;
  const std::string title = ScanLog(samples / "sample.log", native);
  ASSERT_GT(native.Count(), 50);
  for (const char* name : {"sample-utf8.log", "sample-eucjp.log"}) {
    SCOPED_TRACE(name);
    NativeLog log = OpenNativeLog(samples / name, Options());
    EXPECT_EQ(log.Form().lineEnd, LineEnd::Lf);
    EXPECT_EQ(ReadAll(log.ReadPath()), original);
    TLogCtrl copy;
    EXPECT_EQ(ScanLog(log.ReadPath(), copy), title);
    ASSERT_EQ(copy.Count(), native.Count());
    ArrangeIndex(copy, SortOrder::ContentFull);
    ArrangeIndex(native, SortOrder::ContentFull);
    for (std::int32_t i = 0; i < native.Count(); ++i) {
      EXPECT_EQ(ListLineText(native, IndexPos(i), SortOrder::ContentFull, {true, true, true}),
                ListLineText(copy, IndexPos(i), SortOrder::ContentFull, {true, true, true}));
      EXPECT_EQ(LoadRemarkText(log.ReadPath(), copy, IndexPos(i)).lines,
                LoadRemarkText(samples / "sample.log", native, IndexPos(i)).lines);
    }
  }
}

TEST_F(NativeCopyTest, NativeLogsAreReadAsTheyStand) {
  fs::path p = dir_.Write("native.log", JapaneseLog());
  NativeLog log = OpenNativeLog(p, Options());
  EXPECT_FALSE(log.Converted());
  EXPECT_EQ(log.ReadPath(), p);
  EXPECT_FALSE(fs::exists(cache_));  // nothing written anywhere
  // A binary file, too, is read as today.
  fs::path bin = dir_.Write("bin.dat", std::string("\x7F" "ELF\0\0\0\x01\x02", 9));
  EXPECT_FALSE(OpenNativeLog(bin, Options()).Converted());
  EXPECT_FALSE(fs::exists(cache_));
}

TEST_F(NativeCopyTest, CharactersWithoutAFormAndInvalidBytesBecomeGeta) {
  const std::string geta = Sjis("〓");
  // An emoji and a character of a script Shift-JIS lacks; a stray byte and
  // a cut sequence in the middle; a character cut off by the end.
  // Enough good text around them that the file still reads as UTF-8.
  const std::string good = JapaneseLog();
  std::string utf8 = ToUtf8(good + Sjis("前\r\n")) + "\xF0\x9F\x98\x80" "x\xD7\x90" "y\xFF" "z\xE3\x81" "w\r\n" +
                     ToUtf8(Sjis("後")) + "\xE3\x81";
  NativeLog log = OpenNativeLog(dir_.Write("bad8.log", utf8), Options());
  EXPECT_EQ(log.Counts().unmapped, 2u);
  EXPECT_EQ(log.Counts().invalid, 3u);
  EXPECT_EQ(log.Form().encoding, LogEncoding::Utf8);
  EXPECT_EQ(ReadAll(log.ReadPath()), good + Sjis("前\r\n") + geta + "x" + geta + "y" + geta + "z" + geta + "w\r\n" +
                                         Sjis("後") + geta);
  EXPECT_NE(ReplacedMessage(log.Counts()).find("2 個"), std::string::npos);
  EXPECT_NE(ReplacedMessage(log.Counts()).find("3 か所"), std::string::npos);
  EXPECT_EQ(ReplacedMessage({}), "");

  // A surrogate and an overlong form start no character: each of their
  // bytes is a fault of its own, and the text after them stays.
  NativeCopyOptions forced = Options();
  forced.encoding = LogEncoding::Utf8;
  NativeLog s = OpenNativeLog(dir_.Write("surrogate.log", "a\xED\xA0\x80" "b\xE0\x80" "c\r\n"), forced);
  EXPECT_EQ(s.Counts(), (ConversionCounts{0, 5}));
  EXPECT_EQ(ReadAll(s.ReadPath()), "a" + geta + geta + geta + "b" + geta + geta + "c\r\n");

  // EUC-JP: a JIS X 0212 character (no Shift-JIS form) and a stray byte.
  std::string euc = ToEuc(Sjis("日本語のログ\r\n")) + "\x8F\xB0\xA1" "a\x80" "b" + ToEuc(Sjis("です\r\n"));
  NativeCopyOptions o = Options();
  o.encoding = LogEncoding::EucJp;
  NativeLog e = OpenNativeLog(dir_.Write("bad-euc.log", euc), o);
  EXPECT_EQ(e.Counts(), (ConversionCounts{1, 1}));
  EXPECT_EQ(ReadAll(e.ReadPath()), Sjis("日本語のログ\r\n") + geta + "a" + geta + "b" + Sjis("です\r\n"));
  // The same character as the file's last bytes.
  NativeLog end = OpenNativeLog(dir_.Write("end-euc.log", ToEuc(Sjis("日本語\r\n")) + "\x8F\xB0\xA1"), o);
  EXPECT_EQ(end.Counts(), (ConversionCounts{1, 0}));
}

TEST_F(NativeCopyTest, AForcedEncodingOverrulesTheDetection) {
  const std::string sjis = JapaneseLog();
  fs::path p = dir_.Write("u.log", ToUtf8(sjis));
  NativeCopyOptions o = Options();
  o.encoding = LogEncoding::ShiftJis;
  NativeLog asSjis = OpenNativeLog(p, o);  // UTF-8 bytes taken as Shift-JIS: CR LF already
  EXPECT_FALSE(asSjis.Converted());
  o.encoding = LogEncoding::EucJp;
  NativeLog asEuc = OpenNativeLog(p, o);
  EXPECT_TRUE(asEuc.Converted());
  EXPECT_NE(ReadAll(asEuc.ReadPath()), sjis);
  // The forced and the detected reading are two copies, neither in the way
  // of the other.
  NativeLog detected = OpenNativeLog(p, Options());
  EXPECT_NE(detected.ReadPath(), asEuc.ReadPath());
  EXPECT_EQ(ReadAll(detected.ReadPath()), sjis);
  EXPECT_NE(ReadAll(asEuc.ReadPath()), sjis);
}

// ---------------------------------------------------------------------------
// The cache folder

TEST_F(NativeCopyTest, CopyIsReusedAndRefreshedWhenTheOriginalChanges) {
  const std::string sjis = JapaneseLog();
  fs::path p = dir_.Write("travel.log", Ends(ToUtf8(sjis), "\n") + "\xF0\x9F\x98\x80\n");
  const auto before = fs::last_write_time(p);
  fs::path copy;
  {
    NativeLog first = OpenNativeLog(p, Options());
    EXPECT_TRUE(first.Fresh());
    EXPECT_EQ(first.Counts().unmapped, 1u);
    copy = first.ReadPath();
    EXPECT_EQ(copy.parent_path(), cache_);
  }
  struct stat st1 {};
  ASSERT_EQ(::stat(copy.c_str(), &st1), 0);
  NativeLog second = OpenNativeLog(p, Options());
  EXPECT_FALSE(second.Fresh());
  EXPECT_EQ(second.ReadPath(), copy);
  EXPECT_EQ(second.Counts().unmapped, 1u);  // kept with the copy
  EXPECT_EQ(second.Form(), Form(LogEncoding::Utf8, LineEnd::Lf));
  struct stat st2 {};
  ASSERT_EQ(::stat(copy.c_str(), &st2), 0);
  EXPECT_EQ(st1.st_ino, st2.st_ino);  // not written again

  // The original changes (same size, later time): a fresh copy in its place.
  std::string changed = Ends(ToUtf8(sjis), "\n") + "\xF0\x9F\x98\x81\n";
  dir_.Write("travel.log", changed);
  fs::last_write_time(p, before + std::chrono::seconds(5));
  NativeLog third = OpenNativeLog(p, Options());
  EXPECT_TRUE(third.Fresh());
  EXPECT_EQ(third.ReadPath(), copy);
  EXPECT_EQ(ReadAll(p), changed);
  EXPECT_EQ(CacheFiles().size(), 2u);  // one copy and its key
}

TEST_F(NativeCopyTest, ADamagedCopyOrKeyIsMadeAgain) {
  fs::path p = dir_.Write("d.log", Ends(JapaneseLog(), "\n"));
  fs::path copy = OpenNativeLog(p, Options()).ReadPath();
  std::string whole = ReadAll(copy);
  {
    std::ofstream(copy, std::ios::binary) << whole.substr(0, whole.size() / 2);  // cut short
  }
  NativeLog again = OpenNativeLog(p, Options());
  EXPECT_TRUE(again.Fresh());
  EXPECT_EQ(ReadAll(again.ReadPath()), whole);
  fs::path key = copy;
  key.replace_extension(".key");
  { std::ofstream(key, std::ios::binary) << "garbage"; }
  EXPECT_TRUE(OpenNativeLog(p, Options()).Fresh());
}

TEST_F(NativeCopyTest, CacheStaysWithinItsBound) {
  fs::create_directories(cache_);
  dir_.Write("cache/kest32/notes.txt", "not ours");  // never touched
  NativeCopyOptions o = Options();
  o.maxCopies = 2;
  std::vector<fs::path> copies;
  for (int i = 0; i < 4; ++i) {
    fs::path p = dir_.Write("log" + std::to_string(i) + ".log", Ends(JapaneseLog(i + 1), "\n"));
    copies.push_back(OpenNativeLog(p, o).ReadPath());
    // Distinct times of last use, oldest first.
    fs::last_write_time(copies.back(), fs::file_time_type::clock::now() - std::chrono::hours(10 - i));
  }
  EXPECT_FALSE(fs::exists(copies[0]));
  EXPECT_FALSE(fs::exists(copies[1]));
  EXPECT_TRUE(fs::exists(copies[2]));
  EXPECT_TRUE(fs::exists(copies[3]));
  EXPECT_EQ(CacheFiles().size(), 5u);  // two copies, two keys, the note
  EXPECT_TRUE(fs::exists(cache_ / "notes.txt"));

  // A byte bound smaller than one copy keeps only the log being opened.
  o.maxCopies = 100;
  o.maxBytes = 10;
  fs::path big = dir_.Write("big.log", Ends(JapaneseLog(30), "\n"));
  NativeLog kept = OpenNativeLog(big, o);
  EXPECT_TRUE(fs::exists(kept.ReadPath()));
  EXPECT_EQ(CacheFiles(), (std::set<std::string>{kept.ReadPath().filename().string(),
                                                  kept.ReadPath().stem().string() + ".key", "notes.txt"}));
}

TEST_F(NativeCopyTest, DefaultCacheFolder) {
  const char* old = std::getenv("XDG_CACHE_HOME");
  std::string saved = old ? old : "";
  ::setenv("XDG_CACHE_HOME", "/x/cache", 1);
  EXPECT_EQ(DefaultCacheDir(), fs::path("/x/cache/kest32"));
  ::setenv("XDG_CACHE_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(DefaultCacheDir().filename(), "kest32");
  EXPECT_EQ(DefaultCacheDir().parent_path().filename(), ".cache");
  if (old) ::setenv("XDG_CACHE_HOME", saved.c_str(), 1);
  else ::unsetenv("XDG_CACHE_HOME");
}

// ---------------------------------------------------------------------------
// Bad input

TEST_F(NativeCopyTest, UnwritableCacheFolderFallsBackToATemporaryCopy) {
  dir_.Write("afile", "x");
  NativeCopyOptions o = Options();
  o.cacheDir = dir_.Path() / "afile" / "kest32";  // under a plain file: never a folder
  const std::string sjis = JapaneseLog();
  fs::path p = dir_.Write("t.log", Ends(sjis, "\n"));
  fs::path temp;
  {
    NativeLog log = OpenNativeLog(p, o);
    EXPECT_TRUE(log.Temporary());
    temp = log.ReadPath();
    EXPECT_EQ(ReadAll(temp), sjis);
    NativeLog moved = std::move(log);  // the temporary copy goes with its owner
    EXPECT_TRUE(fs::exists(temp));
  }
  EXPECT_FALSE(fs::exists(temp));
}

// A write that takes nothing (returns 0) is a full disk, not a reason to
// try again for ever. Should the copy try again, the write gives up after a
// while with another error, so the test fails rather than hangs.
TEST_F(NativeCopyTest, AWriteThatTakesNothingEndsTheCopy) {
  fs::path p = dir_.Write("zero.log", Ends(ToUtf8(JapaneseLog(20)), "\n"));
  NativeCopyOptions o = Options();
  int calls = 0;
  o.write = [&calls](int, const void*, std::size_t) -> ssize_t {
    if (++calls > 100) {
      errno = EIO;
      return -1;
    }
    return 0;
  };
  try {
    OpenNativeLog(p, o);
    FAIL() << "no error";
  } catch (const LogFileError& e) {
    EXPECT_NE(std::string(e.what()).find("ディスクの空きが足りない"), std::string::npos) << e.what();
  }
  EXPECT_LE(calls, 2);  // once into the cache, at most once more into a temporary file
  EXPECT_TRUE(CacheFiles().empty());
}

TEST_F(NativeCopyTest, AFullDiskLeavesNoPartialCopy) {
  fs::path p = dir_.Write("full.log", Ends(ToUtf8(JapaneseLog(200)), "\n"));
  const std::string original = ReadAll(p);
  NativeCopyOptions o = Options();
  o.blockSize = 1024;
  std::size_t written = 0;
  o.write = [&](int fd, const void* data, std::size_t size) -> ssize_t {
    if (written + size > 5000) {
      errno = ENOSPC;
      return -1;
    }
    written += size;
    return ::write(fd, data, size);
  };
  try {
    OpenNativeLog(p, o);
    FAIL() << "no error";
  } catch (const LogFileError& e) {
    EXPECT_NE(std::string(e.what()).find("ディスクの空きが足りない"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(cache_.string()), std::string::npos) << e.what();
  }
  EXPECT_TRUE(CacheFiles().empty());
  EXPECT_EQ(ReadAll(p), original);

  // The converter itself on a device that is always full.
  const int in = ::open(p.c_str(), O_RDONLY);
  const int out = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(out, 0);
  try {
    ConvertToNative(in, out, Form(LogEncoding::Utf8, LineEnd::Lf));
    ADD_FAILURE() << "no error";
  } catch (const NativeWriteError& e) {
    EXPECT_EQ(e.error, ENOSPC);
  }
  ::close(in);
  ::close(out);
}

TEST_F(NativeCopyTest, AFileThatChangesWhileItIsConverted) {
  const std::string sjis = JapaneseLog(100);
  fs::path p = dir_.Write("moving.log", Ends(sjis, "\n"));
  NativeCopyOptions o = Options();
  o.blockSize = 512;
  // Written to once, half-way through: read again, and the copy is of the
  // file as it ends up.
  int changes = 0;
  o.progress = [&](int percent) {
    if (percent > 0 && changes == 0) {
      ++changes;
      std::ofstream(p, std::ios::binary | std::ios::app) << "more\n";
    }
  };
  NativeLog log = OpenNativeLog(p, o);
  EXPECT_EQ(ReadAll(log.ReadPath()), sjis + "more\r\n");
  // Rewritten in place all the time, at the same size: refused, nothing
  // left behind.
  fs::path q = dir_.Write("moving2.log", Ends(sjis, "\n"));
  int rewrites = 0;
  o.progress = [&](int percent) {
    if (percent == 0) return;
    {
      std::fstream f(q, std::ios::binary | std::ios::in | std::ios::out);
      f.seekp(0);
      f << (++rewrites % 2 ? 'X' : 'Y');
    }
    fs::last_write_time(q, fs::file_time_type::clock::now() + std::chrono::seconds(rewrites));
  };
  try {
    OpenNativeLog(q, o);
    FAIL() << "no error";
  } catch (const LogFileError& e) {
    EXPECT_NE(std::string(e.what()).find("変換中に書き換えられました"), std::string::npos) << e.what();
  }
  std::set<std::string> left = CacheFiles();
  EXPECT_EQ(left.size(), 2u);  // the first log's copy and key only
}

// Any bytes at all, in any block size, convert without a fault, and the
// line ends of the form converted from all become CR LF.
TEST_F(NativeCopyTest, ArbitraryBytesConvertSafely) {
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, static_cast<unsigned char>(seed >> 16); };
  for (int round = 0; round < 24; ++round) {
    std::string bytes;
    const int size = 50 + round * 97;
    for (int i = 0; i < size; ++i) {
      const unsigned char b = next();
      bytes += static_cast<char>(b % 7 == 0 ? '\n' : b % 11 == 0 ? '\r' : b);
    }
    const fs::path in = dir_.Write("rand.bin", bytes);
    const fs::path outPath = dir_.Path() / "rand.out";
    for (LogEncoding enc : {LogEncoding::Utf8, LogEncoding::EucJp, LogEncoding::ShiftJis}) {
      for (LineEnd end : {LineEnd::Lf, LineEnd::Cr}) {
        SCOPED_TRACE(std::to_string(round) + " " + std::to_string(int(enc)) + " " + std::to_string(int(end)));
        const int fd = ::open(in.c_str(), O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ConvertToNative(fd, out, Form(enc, end), {}, {}, 5 + round % 9);
        ::close(fd);
        ::close(out);
        const std::string text = ReadAll(outPath);
        for (std::size_t i = 0; i < text.size(); ++i) {
          // From LF line ends every LF has its CR; from CR line ends every CR
          // its LF (a lone LF there is an ordinary byte, as in a native log).
          if (text[i] == '\n' && end == LineEnd::Lf) {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << i;
          }
          if (text[i] == '\r' && end == LineEnd::Cr) {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << i;
          }
        }
      }
    }
  }
}

TEST_F(NativeCopyTest, MissingOriginal) {
  EXPECT_THROW(OpenNativeLog(dir_.Path() / "gone.log", Options()), LogFileError);
}

}  // namespace
}  // namespace kest
