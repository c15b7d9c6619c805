// Archives: listing, extracting members into the cache, and every kind of
// bad archive, at the core's level.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <set>

#include "archive/Archive.h"
#include "archive/MemberCopy.h"
#include "core/ArchiveFixture.h"
#include "core/LogFixture.h"

namespace kest {
namespace {

namespace fs = std::filesystem;
using test::LhaArchive;
using test::LhaEntry;
using test::ReadFile;
using test::Sjis;
using test::TempDir;

fs::path Sample(const char* name) { return fs::path(KEST_SOURCE_DIR) / "samples" / name; }

class ArchiveTest : public ::testing::Test {
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
  // Extracting fails with a message holding `part`; nothing is left of it.
  void ExpectRefused(const fs::path& archive, const std::string& member, const std::string& part,
                     NativeCopyOptions options) {
    const std::set<std::string> before = CacheFiles();
    try {
      ExtractMember(archive, member, options);
      ADD_FAILURE() << member << ": no error";
    } catch (const LogFileError& e) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
    EXPECT_EQ(CacheFiles(), before) << member;
  }
  void ExpectRefused(const fs::path& archive, const std::string& member, const std::string& part) {
    ExpectRefused(archive, member, part, Options());
  }

  TempDir dir_;
  fs::path cache_ = dir_.Path() / "cache" / "kest32";
  const std::string shortLog_ = ReadFile(Sample("sample-short.log"));
};

// Every member form of the samples extracts to exactly the log it was made
// from: every method, header level and name form, converted on the way when
// it was packed in EUC-JP or UTF-8.
TEST_F(ArchiveTest, SampleMembersExtractToTheirLogs) {
  const struct {
    const char* archive;
    const char* member;
    const char* method;
  } members[] = {
      {"forum.lzh", "ソフト談義.log", "-lh5-"},
      {"forum.lzh", "過去ログ/表示.log", "-lh6-"},
      {"lharc.lzh", "ソフト.log", "-lh1-"},
      {"lharc.lzh", "レベル3.log", "-lh5-"},
      {"larc.lzh", "過去ログ/表示.log", "-lz5-"},
      {"forum.zip", "ソフト談義.log", "deflate"},
      {"utf8-names.zip", "ゆーてぃーえふ/サンプル.log", "deflate"},
  };
  for (const auto& m : members) {
    SCOPED_TRACE(std::string(m.archive) + " " + m.member);
    const ArchiveListing listing = ListArchive(Sample(m.archive));
    const ArchiveMember* found = listing.Find(m.member);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->method, m.method);
    EXPECT_TRUE(found->looksLikeLog);
    EXPECT_EQ(found->sjisName, Sjis(m.member));
    EXPECT_TRUE(listing.damage.empty());
    const NativeLog log = ExtractMember(Sample(m.archive), m.member, Options());
    EXPECT_TRUE(log.Converted());
    EXPECT_EQ(log.Member(), m.member);
    EXPECT_EQ(log.Original(), Sample(m.archive));
    EXPECT_EQ(log.ReadPath().parent_path(), cache_);
    EXPECT_EQ(ReadFile(log.ReadPath()), shortLog_);
  }
  const NativeLog whole = ExtractMember(Sample("one-log.lzh"), "sample.log", Options());
  EXPECT_EQ(ReadFile(whole.ReadPath()), ReadFile(Sample("sample.log")));
  EXPECT_EQ(whole.Form().encoding, LogEncoding::Utf8);
  EXPECT_EQ(ConversionNotice(whole), "ｱｰｶｲﾌﾞ one-log.lzh から展開");
}

// The window opens whatever its stored name names.
TEST_F(ArchiveTest, OpeningAStoredName) {
  const LogLocation member = LogLocation::Member(Sample("forum.lzh"), "過去ログ/表示.log");
  const NativeLog m = OpenLocation(LogLocation::Parse(member.Format()), Options());
  EXPECT_EQ(m.Member(), "過去ログ/表示.log");
  EXPECT_EQ(ReadFile(m.ReadPath()), shortLog_);
  const NativeLog plain = OpenLocation(LogLocation::Parse(Sample("sample-short.log").string()), Options());
  EXPECT_FALSE(plain.Converted());
  EXPECT_EQ(plain.Member(), "");
  EXPECT_EQ(ConversionNotice(plain), "");
}

TEST_F(ArchiveTest, ListingTellsLogsFromOtherFiles) {
  const ArchiveListing lzh = ListArchive(Sample("forum.lzh"));
  EXPECT_EQ(lzh.kind, ArchiveKind::Lzh);
  ASSERT_EQ(lzh.members.size(), 3u);
  EXPECT_EQ(lzh.members[2].name, "readme.txt");
  EXPECT_FALSE(lzh.members[2].looksLikeLog);
  EXPECT_TRUE(lzh.members[2].problem.empty());
  EXPECT_EQ(lzh.members[0].size, shortLog_.size());
  EXPECT_EQ(lzh.LogCount(), 2u);
  EXPECT_EQ(lzh.LogsFirst(), (std::vector<std::size_t>{0, 1, 2}));
  const ArchiveListing zip = ListArchive(Sample("forum.zip"));
  EXPECT_EQ(zip.kind, ArchiveKind::Zip);
  ASSERT_EQ(zip.members.size(), 2u);
  EXPECT_EQ(zip.members[1].name, "過去ログ/readme.txt");
  EXPECT_EQ(zip.members[1].method, "stored");
  EXPECT_EQ(zip.LogsFirst(), (std::vector<std::size_t>{0, 1}));
  // A text listed first and a log after it: the log comes first.
  const fs::path mixed = dir_.Write("mixed.lzh", LhaArchive({{"a.txt", "notes\r\n"}, {"b.log", shortLog_}}));
  EXPECT_EQ(ListArchive(mixed).LogsFirst(), (std::vector<std::size_t>{1, 0}));
  // Without detection only the headers are read.
  EXPECT_EQ(ListArchive(Sample("forum.lzh"), {.detectLogs = false}).LogCount(), 0u);

  const char* tz = std::getenv("TZ");
  const std::string oldTz = tz ? tz : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(FormatMemberDate(lzh.members[0].mtime), "1996-04-10 23:15");
  EXPECT_EQ(FormatMemberDate(0), "");
  if (tz) {
    ::setenv("TZ", oldTz.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST_F(ArchiveTest, WhatIsAnArchive) {
  EXPECT_EQ(ArchiveKindOf(Sample("forum.lzh")), ArchiveKind::Lzh);
  EXPECT_EQ(ArchiveKindOf(Sample("larc.lzh")), ArchiveKind::Lzh);
  EXPECT_EQ(ArchiveKindOf(Sample("utf8-names.zip")), ArchiveKind::Zip);
  EXPECT_EQ(ArchiveKindOf(Sample("sample.log")), ArchiveKind::None);
  EXPECT_EQ(ArchiveKindOf(dir_.Path() / "missing.lzh"), ArchiveKind::None);
  EXPECT_EQ(ArchiveKindOf(dir_.Path()), ArchiveKind::None);
  // A log named .lzh stays a log; an empty file named .lzh is an empty archive.
  EXPECT_EQ(ArchiveKindOf(dir_.Write("log.lzh", shortLog_)), ArchiveKind::None);
  EXPECT_EQ(ArchiveKindOf(dir_.Write("empty.LZH", "")), ArchiveKind::Lzh);
  EXPECT_EQ(ArchiveKindOf(dir_.Write("empty.zip", "")), ArchiveKind::Zip);
  EXPECT_EQ(ArchiveKindOf(dir_.Write("empty.log", "")), ArchiveKind::None);
  EXPECT_TRUE(HasArchiveExtension("LOG.LZH"));
  EXPECT_TRUE(HasArchiveExtension("a.lha"));
  EXPECT_TRUE(HasArchiveExtension("a.Zip"));
  EXPECT_FALSE(HasArchiveExtension(".zip"));
  EXPECT_FALSE(HasArchiveExtension("a.log"));
  EXPECT_FALSE(HasArchiveExtension("lzh"));
}

TEST_F(ArchiveTest, ChoosingAMember) {
  const ArchiveListing forum = ListArchive(Sample("forum.lzh"));
  MemberChoice c = ChooseMember(forum);
  EXPECT_EQ(c.result, MemberChoice::kSeveralLogs);
  EXPECT_EQ(c.candidates.size(), 2u);
  c = ChooseMember(forum, "過去ログ/表示.log");
  ASSERT_EQ(c.result, MemberChoice::kChosen);
  EXPECT_EQ(c.member->name, "過去ログ/表示.log");
  EXPECT_EQ(ChooseMember(forum, Sjis("ソフト談義.log")).member, &forum.members[0]);
  EXPECT_EQ(ChooseMember(forum, "*表示*").member, &forum.members[1]);  // '*' over '/'
  EXPECT_EQ(ChooseMember(forum, "readme.???").member, &forum.members[2]);
  EXPECT_EQ(ChooseMember(forum, "*.log").result, MemberChoice::kSeveralMatch);
  EXPECT_EQ(ChooseMember(forum, "*.doc").result, MemberChoice::kNoMatch);
  // An archive of one log, and one of a single member of any kind.
  EXPECT_EQ(ChooseMember(ListArchive(Sample("one-log.lzh"))).result, MemberChoice::kChosen);
  const fs::path text = dir_.Write("text.lzh", LhaArchive({{"notes.txt", "no log\r\n"}}));
  EXPECT_EQ(ChooseMember(ListArchive(text)).member->name, "notes.txt");
  const fs::path texts = dir_.Write("texts.lzh", LhaArchive({{"a.txt", "a\r\n"}, {"b.txt", "b\r\n"}}));
  EXPECT_EQ(ChooseMember(ListArchive(texts)).result, MemberChoice::kNoLog);
  const fs::path logAndText = dir_.Write("both.lzh", LhaArchive({{"a.txt", "a\r\n"}, {"b.log", shortLog_}}));
  EXPECT_EQ(ChooseMember(ListArchive(logAndText)).member->name, "b.log");
  EXPECT_EQ(ChooseMember(ArchiveListing{}).result, MemberChoice::kEmpty);
}

// Names of level 0: '\' between folders, and 0x5C as the second byte of a
// Shift-JIS character; a name that comes twice is listed once.
TEST_F(ArchiveTest, LevelZeroNames) {
  const std::string so = Sjis("ソ");
  const fs::path p = dir_.Write("names.lzh", LhaArchive({{Sjis("過去ログ\\ソフト.log"), shortLog_},
                                                         {Sjis("表\\表.log"), "x\r\n"},
                                                         {Sjis("表.log"), "x\r\n", 2},
                                                         {Sjis("過去ログ\\ソフト.log"), "again\r\n"}}));
  const ArchiveListing listing = ListArchive(p);
  ASSERT_EQ(listing.members.size(), 3u);
  EXPECT_EQ(listing.members[0].name, "過去ログ/ソフト.log");
  EXPECT_EQ(listing.members[1].name, "表/表.log");
  EXPECT_EQ(listing.members[2].name, "表.log");
  EXPECT_EQ(ReadFile(ExtractMember(p, "過去ログ/ソフト.log", Options()).ReadPath()), shortLog_);
}

// Names that are not Shift-JIS: UTF-8 without the ZIP flag (as Linux
// desktops write them), and an LHA archive made where names are UTF-8.
TEST_F(ArchiveTest, NamesInUtf8) {
  const fs::path zip = dir_.Write("names.zip", test::ZipArchive({{"ユーティーエフ.log", shortLog_},
                                                                 {Sjis("過去ログ/ソフト.log"), shortLog_}}));
  ArchiveListing listing = ListArchive(zip);
  ASSERT_EQ(listing.members.size(), 2u);
  EXPECT_EQ(listing.members[0].name, "ユーティーエフ.log");
  EXPECT_EQ(listing.members[1].name, "過去ログ/ソフト.log");
  EXPECT_EQ(listing.LogCount(), 2u);
  EXPECT_EQ(ReadFile(ExtractMember(zip, "ユーティーエフ.log", Options()).ReadPath()), shortLog_);
  EXPECT_EQ(ReadFile(ExtractMember(zip, "過去ログ/ソフト.log", Options()).ReadPath()), shortLog_);
  const fs::path lzh =
      dir_.Write("utf8.lzh", LhaArchive({{"ログ/ユーティーエフ.log", shortLog_, 2}, {"表示.log", "x\r\n"}}));
  listing = ListArchive(lzh);
  ASSERT_EQ(listing.members.size(), 2u);
  EXPECT_TRUE(listing.damage.empty()) << listing.damage;
  EXPECT_EQ(listing.members[0].name, "ログ/ユーティーエフ.log");
  EXPECT_EQ(listing.members[1].name, "表示.log");
  EXPECT_EQ(ReadFile(ExtractMember(lzh, "表示.log", Options()).ReadPath()), "x\r\n");
}

TEST(ArchiveNames, BytesAsUtf8) {
  using archive_read::NameToUtf8;
  EXPECT_EQ(NameToUtf8(Sjis("過去ログ/ソフト.log")), "過去ログ/ソフト.log");
  EXPECT_EQ(NameToUtf8("ユーティーエフ.log"), "ユーティーエフ.log");  // no CP932 reads these bytes
  EXPECT_EQ(NameToUtf8("plain.log"), "plain.log");
  EXPECT_EQ(NameToUtf8("\xF0\x9F\x98\x80.log"), "\xF0\x9F\x98\x80.log");  // four bytes
  EXPECT_EQ(NameToUtf8("\xC2\x81"), "\xC2\x81");                          // U+0081, no CP932
  // Neither: CP932 with U+FFFD where a byte forms no character.
  for (const char* bytes : {"a\x81", "\xC1\x81", "\x81\x7F"}) {
    EXPECT_EQ(NameToUtf8(bytes), SjisToUtf8(bytes)) << bytes;
    EXPECT_NE(NameToUtf8(bytes).find("\xEF\xBF\xBD"), std::string::npos) << bytes;
  }
}

// An archive whose first header libarchive refuses (level 2 without the
// attribute byte it expects) is read by liblhasa alone, the names from the
// raw headers; here with a stored member larger than the blocks the archive
// is read in.
TEST_F(ArchiveTest, ArchivesOnlyLiblhasaReads) {
  const std::string big = ReadFile(Sample("sample.log")) + ReadFile(Sample("sample.log"));
  LhaEntry first{Sjis("表示.log"), shortLog_, 2};
  first.attribute = 0;
  const fs::path p = dir_.Write(
      "lhasa.lzh", LhaArchive({first, {Sjis("過去ログ\\ソフト.log"), big}, {"z.txt", "notes\r\n", 2}}));
  const ArchiveListing listing = ListArchive(p);
  ASSERT_EQ(listing.members.size(), 3u);
  EXPECT_TRUE(listing.members[0].lhasaListed);
  EXPECT_EQ(listing.members[0].name, "表示.log");
  EXPECT_EQ(listing.members[1].name, "過去ログ/ソフト.log");
  EXPECT_EQ(listing.members[1].method, "-lh0-");
  EXPECT_EQ(listing.members[1].size, big.size());
  EXPECT_EQ(listing.LogsFirst(), (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(listing.LogCount(), 2u);
  EXPECT_EQ(ReadFile(ExtractMember(p, "過去ログ/ソフト.log", Options()).ReadPath()), big);
  EXPECT_EQ(ReadFile(ExtractMember(p, "z.txt", Options()).ReadPath()), "notes\r\n");
  EXPECT_EQ(ReadFile(ExtractMember(p, "表示.log", Options()).ReadPath()), shortLog_);
}

// The raw header names that liblhasa's own would garble, at every level.
TEST(LhaRawNames, EveryHeaderLevel) {
  using archive_read::lhasa::RawHeaderName;
  auto name = [](const std::string& h) {
    return RawHeaderName(reinterpret_cast<const unsigned char*>(h.data()), h.size());
  };
  const std::string n = Sjis("過去ログ\\ソフト.log");  // ソ: 0x83 0x5C
  std::string l0(21, '\0');                            // level 0 in byte 20
  l0 += static_cast<char>(n.size());
  l0 += n + "cc";
  EXPECT_EQ(name(l0), Sjis("過去ログ/ソフト.log"));
  // Level 1: the base name, and the folder in an extended header (0xFF
  // between folders).
  std::string l1(20, '\0');
  l1 += '\1';
  const std::string base = Sjis("表.log");
  l1 += static_cast<char>(base.size());
  l1 += base + "ccU";
  const std::string folder = Sjis("ログ") + "\xFF" + Sjis("表");
  test::PutLittle(l1, 3 + folder.size(), 2);
  l1[0] = static_cast<char>(l1.size() - 2);
  l1 += '\x02' + folder;
  test::PutLittle(l1, 0, 2);
  EXPECT_EQ(name(l1), Sjis("ログ/表/表.log"));
  // Levels 2 and 3: names only in extended headers, sizes of two and four bytes.
  for (int level : {2, 3}) {
    const int w = level == 2 ? 2 : 4;
    std::string h(20, '\0');
    h += static_cast<char>(level);
    h += "ccU";
    if (level == 3) h += "SIZE";
    test::PutLittle(h, 1 + 3 + w, w);
    h += "\x02" + Sjis("ソ") + "\xFF";
    test::PutLittle(h, 1 + n.size() + w, w);
    h += "\x01" + n;
    test::PutLittle(h, 0, w);
    EXPECT_EQ(name(h), Sjis("ソ/") + Sjis("過去ログ/ソフト.log")) << level;
  }
  EXPECT_EQ(name(std::string(10, '\0')), "");
  std::string cut = l0.substr(0, 24);  // the name's length passes the end
  EXPECT_EQ(name(cut), "");
  const std::string check = "123456789";
  EXPECT_EQ(archive_read::lhasa::Crc16(0, reinterpret_cast<const unsigned char*>(check.data()), 9), 0xBB3D);
}

TEST_F(ArchiveTest, CopyIsReusedUntilTheArchiveChanges) {
  const fs::path p = dir_.Path() / "forum.lzh";
  fs::copy_file(Sample("forum.lzh"), p);
  const NativeLog first = ExtractMember(p, "ソフト談義.log", Options());
  EXPECT_TRUE(first.Fresh());
  const NativeLog again = ExtractMember(p, "ソフト談義.log", Options());
  EXPECT_FALSE(again.Fresh());
  EXPECT_EQ(again.ReadPath(), first.ReadPath());
  // Another member, and the same member read with another encoding, are
  // other copies.
  const NativeLog other = ExtractMember(p, "過去ログ/表示.log", Options());
  EXPECT_NE(other.ReadPath(), first.ReadPath());
  EXPECT_EQ(CacheFiles().size(), 4u);
  // The archive touched: made afresh in the same place.
  fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(5));
  const NativeLog fresh = ExtractMember(p, "ソフト談義.log", Options());
  EXPECT_TRUE(fresh.Fresh());
  EXPECT_EQ(fresh.ReadPath(), first.ReadPath());
  // The cache's bound holds for members as for converted logs.
  NativeCopyOptions one = Options();
  one.maxCopies = 1;
  ExtractMember(p, "過去ログ/表示.log", one);
  EXPECT_EQ(CacheFiles().size(), 2u);
}

TEST_F(ArchiveTest, DamagedArchives) {
  const std::string forum = ReadFile(Sample("forum.lzh"));
  // Cut inside the second member: the first still opens.
  const fs::path cut = dir_.Write("cut.lzh", forum.substr(0, forum.size() / 2 + 1000));
  const ArchiveListing listing = ListArchive(cut);
  EXPECT_NE(listing.damage.find("壊れています"), std::string::npos);
  ASSERT_GE(listing.members.size(), 1u);
  EXPECT_EQ(ReadFile(ExtractMember(cut, "ソフト談義.log", Options()).ReadPath()), shortLog_);
  ExpectRefused(cut, "過去ログ/表示.log", "壊れている");
  // A byte changed in the packed data of each unpacker's member: refused,
  // never shown.
  for (const char* name : {"forum.lzh", "lharc.lzh", "larc.lzh", "forum.zip"}) {
    std::string bytes = ReadFile(Sample(name));
    bytes[bytes.size() / 3] = static_cast<char>(bytes[bytes.size() / 3] ^ 0x55);
    const fs::path p = dir_.Write(std::string("bad-") + name, bytes);
    const ArchiveListing l = ListArchive(p, {.detectLogs = false});
    ASSERT_FALSE(l.members.empty()) << name;
    ExpectRefused(p, l.members[0].name, "壊れている");
  }
  // Not an archive at all, and no file.
  EXPECT_THROW(ListArchive(Sample("sample.log")), LogFileError);
  EXPECT_THROW(ListArchive(dir_.Path() / "none.lzh"), LogFileError);
  ExpectRefused(dir_.Path() / "none.lzh", "a.log", "見つかりません");
  ExpectRefused(Sample("forum.lzh"), "nothing.log", "ありません");
}

TEST_F(ArchiveTest, MembersThatAreNeverExtracted) {
  // Encrypted.
  const fs::path secret = dir_.Write("secret.zip", test::ZipArchive({{"a.log", shortLog_}}, "kest"));
  const ArchiveListing s = ListArchive(secret);
  ASSERT_EQ(s.members.size(), 1u);
  EXPECT_TRUE(s.members[0].encrypted);
  EXPECT_FALSE(s.members[0].looksLikeLog);
  ExpectRefused(secret, "a.log", "暗号化");
  // Names that would lead out of the cache: listed, never written anywhere.
  const fs::path evil = dir_.Write("evil.lzh", LhaArchive({{"..\\evil.log", shortLog_},
                                                           {"/abs.log", shortLog_, 2},
                                                           {"a/../../up.log", shortLog_},
                                                           {"..\\level2.log", shortLog_, 2},
                                                           {"C:\\drive.log", shortLog_, 2}}));
  const ArchiveListing e = ListArchive(evil);
  ASSERT_EQ(e.members.size(), 5u);
  for (const ArchiveMember& m : e.members) {
    EXPECT_NE(m.problem.find("書庫の外"), std::string::npos) << m.name;
    ExpectRefused(evil, m.name, "書庫の外");
  }
  EXPECT_FALSE(fs::exists(dir_.Path() / "evil.log"));
  EXPECT_FALSE(fs::exists(dir_.Path().parent_path() / "up.log"));
  // A method neither library unpacks.
  const fs::path old =
      dir_.Write("old.lzh", LhaArchive({{"a.log", shortLog_}, {"b.log", "data", 0, "-lh2-"}}));
  const ArchiveListing o = ListArchive(old);
  ASSERT_EQ(o.members.size(), 2u);
  EXPECT_TRUE(o.members[1].unsupported);
  ExpectRefused(old, "b.log", "圧縮方式 -lh2-");
}

TEST_F(ArchiveTest, ZipBombsAreRefusedBeforeTheDiskFills) {
  // Sizes the header gives: past the cache's bound, or packed over 1000:1.
  const fs::path huge =
      dir_.Write("huge.lzh", LhaArchive({{"big.log", "x", 2, "-lh5-", std::int64_t(3) << 30},
                                         {"dense.log", std::string(1000, 'x'), 0, "-lh5-", 50 << 20}}));
  ExpectRefused(huge, "big.log", "上限");
  ExpectRefused(huge, "dense.log", "圧縮率");
  // A bound smaller than a real member.
  NativeCopyOptions small = Options();
  small.maxBytes = 5000;
  ExpectRefused(Sample("forum.lzh"), "ソフト談義.log", "上限", small);
  // Data that runs on past the size its header gives.
  const fs::path liar =
      dir_.Write("liar.lzh", LhaArchive({{"a.log", shortLog_ + shortLog_, 2, "-lh0-", 100}}));
  ExpectRefused(liar, "a.log", "超えます");
  // Deflated zeros, really packed over 1000:1.
  const fs::path zeros = dir_.Write("zeros.zip", test::ZipArchive({{"z.log", std::string(12 << 20, '\0')}}));
  ExpectRefused(zeros, "z.log", "圧縮率");
}

TEST_F(ArchiveTest, ManyMembers) {
  std::vector<LhaEntry> entries;
  for (int i = 0; i < 10000; ++i) {
    entries.push_back({"log" + std::to_string(i) + ".log", test::MakeLog({{i % 900 + 1, 0}}), i % 2 * 2});
  }
  const fs::path p = dir_.Write("many.lzh", LhaArchive(entries));
  const auto start = std::chrono::steady_clock::now();
  const ArchiveListing listing = ListArchive(p);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(listing.members.size(), 10000u);
  EXPECT_EQ(listing.LogCount(), 10000u);
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(ReadFile(ExtractMember(p, "log9999.log", Options()).ReadPath()), entries.back().data);
}

TEST_F(ArchiveTest, EmptyArchives) {
  for (const auto& [name, bytes] : {std::pair<const char*, std::string>{"empty.zip", test::ZipArchive({})},
                                    {"empty.lzh", std::string(1, '\0')},
                                    {"zero.lzh", ""}}) {
    const ArchiveListing l = ListArchive(dir_.Write(name, bytes));
    EXPECT_TRUE(l.members.empty()) << name;
    EXPECT_TRUE(l.damage.empty()) << name;
    EXPECT_EQ(ChooseMember(l).result, MemberChoice::kEmpty);
  }
}

TEST_F(ArchiveTest, FullDiskCancelAndChangingArchive) {
  const fs::path p = dir_.Path() / "forum.lzh";
  fs::copy_file(Sample("forum.lzh"), p);
  const std::string before = ReadFile(p);
  NativeCopyOptions full = Options();
  full.blockSize = 1024;
  full.write = [](int, const void*, std::size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  ExpectRefused(p, "ソフト談義.log", "ディスクの空きが足りない", full);

  std::atomic<bool> stop = false;
  NativeCopyOptions cancel = Options();
  cancel.blockSize = 1024;
  cancel.cancel = &stop;
  cancel.progress = [&](int percent) { stop = percent > 0; };
  try {
    ExtractMember(p, "ソフト談義.log", cancel);
    ADD_FAILURE() << "not cancelled";
  } catch (const CopyCancelled&) {
  }
  EXPECT_TRUE(CacheFiles().empty());

  // Touched once while it is read: read again. Touched every time: refused.
  NativeCopyOptions moving = Options();
  moving.blockSize = 1024;
  int touches = 0;
  moving.progress = [&](int percent) {
    if (percent > 0 && touches < 1) {
      ++touches;
      fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(1));
    }
  };
  EXPECT_EQ(ReadFile(ExtractMember(p, "ソフト談義.log", moving).ReadPath()), shortLog_);
  moving.progress = [&](int percent) {
    if (percent > 0) fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(1));
  };
  ExpectRefused(p, "過去ログ/表示.log", "展開中に書き換えられました", moving);
  EXPECT_EQ(ReadFile(p), before);  // the archive is only ever read

  // A cache folder that cannot be written: no copy anywhere else.
  fs::create_directories(cache_);
  fs::permissions(cache_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(cache_.c_str(), W_OK) != 0) {  // root writes anywhere
    ExpectRefused(p, "過去ログ/表示.log", "キャッシュフォルダに書き込めません");
  }
  fs::permissions(cache_, fs::perms::owner_all);
}

}  // namespace
}  // namespace kest
