// The session of one open log without a window: loading, the selected line
// and the shown remark, folds, orders and columns, finding a remark by
// number, the text and speaker searches with their walk down folded
// threads, the command states and the keys, and the settings it keeps.
#include <gtest/gtest.h>

#include <fstream>

#include "core/LogFixture.h"
#include "log/NativeCopy.h"
#include "platform/Profile.h"
#include "session/LogSession.h"

using namespace kest;
using namespace kest::test;

namespace {

struct R {
  int number;
  int commentTo;
  std::string id = "ABC01234";
  std::vector<std::string> body = {};
};

std::string Log(const std::vector<R>& remarks) {
  std::string s = Sjis("テストログ") + "\r\n\r\n";
  for (const R& r : remarks) {
    s += Header5(r.number, r.id, "poster", "title" + std::to_string(r.number)) + "\r\n" +
         Line2("96/03/01", r.commentTo) + "\r\n";
    for (const std::string& b :
         r.body.empty() ? std::vector<std::string>{"body " + std::to_string(r.number)} : r.body) {
      s += b + "\r\n";
    }
  }
  return s;
}

// Records what the session tells its observers.
struct Recorder : SessionObserver {
  std::vector<ListLine> selected;
  int resets = 0, inserts = 0, removes = 0, columns = 0;
  void EndReset() override { ++resets; }
  void EndInsert() override { ++inserts; }
  void EndRemove() override { ++removes; }
  void ColumnsChanged() override { ++columns; }
  void LineSelected(ListLine line) override { selected.push_back(line); }
};

class SessionTest : public ::testing::Test {
 protected:
  TempDir dir_;
  LogSession s_;
  std::filesystem::path log_;

  void Open(const std::string& bytes, SortOrder order = SortOrder::ContentFolded) {
    WindowSettings settings;
    settings.View.SortType = order;
    s_.ApplySettings(settings);
    log_ = dir_.Write("a.log", bytes);
    s_.Load(log_.string(), OpenNativeLog(log_));
  }
  int Shown() const { return s_.Shown().header ? s_.Shown().header->Number.v : -1; }
  std::string Pane() const {
    std::string t;
    for (const std::string& l : s_.Shown().lines) t += l + "\n";
    return t;
  }
  // The number of the selected line's remark.
  int SelectedNumber() const {
    return s_.ValidLine(s_.Selected()) ? s_.Log()->GetNumber(s_.PositionOf(s_.Selected())).v : -1;
  }
  std::vector<int> Numbers() const {
    std::vector<int> n;
    for (int l = 0; l < s_.LineCount(); ++l) n.push_back(s_.Log()->GetNumber(s_.PositionOf(ListLine(l))).v);
    return n;
  }
  bool Enabled(Command c) const { return s_.Commands().Enabled(c); }
  bool Checked(Command c) const { return s_.Commands().Checked(c); }
};

TEST_F(SessionTest, NothingBeforeTheFirstLog) {
  EXPECT_FALSE(s_.LogLoaded());
  EXPECT_EQ(s_.LineCount(), 0);
  EXPECT_FALSE(s_.Title());
  EXPECT_FALSE(s_.Shown().header);
  const CommandStates c = s_.Commands();
  for (Command off :
       {Command::SortRemark, Command::SortContentFull, Command::SortContentFolded, Command::Find,
        Command::FindSpeaker, Command::FindPrev, Command::FindNext, Command::AddBookmark,
        Command::OrganizeBookmarks, Command::ShowNumber, Command::ShowSpeaker, Command::ShowDate,
        Command::Prev, Command::Next, Command::Comment, Command::Export, Command::ExportThread}) {
    EXPECT_FALSE(c.Enabled(off)) << static_cast<int>(off);
    EXPECT_FALSE(c.Checked(off)) << static_cast<int>(off);
  }
  for (Command on : {Command::Open, Command::Print, Command::Exit, Command::Copy, Command::SelectAll,
                     Command::MaximizeList, Command::MaximizeText, Command::SplitEven, Command::Font,
                     Command::Colors, Command::Help, Command::KeyHelp, Command::About}) {
    EXPECT_TRUE(c.Enabled(on)) << static_cast<int>(on);
  }
  EXPECT_FALSE(c.logMenusShown);
  // Keys that act on a line need a log.
  EXPECT_EQ(CommandForKey(kVkF4, s_.KeyState()), PaneCommand::None);
  EXPECT_EQ(CommandForKey(kVkNumpad2, s_.KeyState()), PaneCommand::None);
  EXPECT_EQ(CommandForKey(kVkC, s_.KeyState()), PaneCommand::MaximizeText);
}

TEST_F(SessionTest, LoadingShowsAndSelectsTheFirstRemarkInEveryOrder) {
  for (SortOrder order : {SortOrder::Remark, SortOrder::ContentFull, SortOrder::ContentFolded}) {
    Open(ThreadLog(), order);
    EXPECT_TRUE(s_.LogLoaded());
    EXPECT_EQ(*s_.Title(), Sjis("テストログ"));
    EXPECT_EQ(s_.LogFileName(), log_.string());
    EXPECT_EQ(s_.OpenFolder(), dir_.Path().string() + "/");
    EXPECT_EQ(s_.Selected(), ListLine(0));
    EXPECT_EQ(s_.Shown().line, ListLine(0));
    EXPECT_EQ(Shown(), 1);
    EXPECT_EQ(s_.Shown().header->Title, "title1");
    EXPECT_EQ(Pane(), "     96/03/01   21:00  \nbody 1\n");
    EXPECT_TRUE(s_.Search().SpeakerListStale);
    EXPECT_TRUE(Checked(order == SortOrder::Remark        ? Command::SortRemark
                        : order == SortOrder::ContentFull ? Command::SortContentFull
                                                          : Command::SortContentFolded));
  }
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 7, 8}));
  EXPECT_TRUE(s_.Commands().logMenusShown);
  EXPECT_TRUE(Checked(Command::ShowNumber) && Checked(Command::ShowSpeaker) && !Checked(Command::ShowDate));

  // An order the settings file made up: no lines, no order checked, but the
  // first remark is named and read all the same.
  Open(ThreadLog(), static_cast<SortOrder>(7));
  EXPECT_EQ(s_.LineCount(), 0);
  EXPECT_EQ(s_.Selected(), ListLine(-1));
  EXPECT_EQ(s_.Shown().line, ListLine(-1));
  EXPECT_EQ(Shown(), 1);
  EXPECT_FALSE(Checked(Command::SortRemark) || Checked(Command::SortContentFull) ||
               Checked(Command::SortContentFolded));

  // A log with no remark: nothing named, nothing selected, an empty pane.
  Open("just text\r\nno headers\r\n");
  EXPECT_EQ(s_.LineCount(), 0);
  EXPECT_FALSE(s_.Shown().header);
  EXPECT_TRUE(s_.Shown().lines.empty());
  EXPECT_EQ(*s_.Title(), "just text");
}

TEST_F(SessionTest, FilesThatAreNoLogsAreRefusedBeforeTheShownLogGoes) {
  Open(ThreadLog());
  EXPECT_EQ(s_.CheckLogFile("")->text, "ファイルが見つかりません");
  EXPECT_EQ(s_.CheckLogFile((dir_.Path() / "gone.log").string())->kind, Notice::Kind::Info);
  const auto folder = s_.CheckLogFile(dir_.Path().string());
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->text, "フォルダはログファイルとして開けません");
  EXPECT_EQ(folder->path, dir_.Path().string());
  EXPECT_FALSE(folder->advice.empty());
  EXPECT_FALSE(s_.CheckLogFile(log_.string()));
  if (::geteuid() != 0) {
    const auto locked = dir_.Write("locked.log", ThreadLog());
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    ASSERT_TRUE(s_.CheckLogFile(locked.string()));
    EXPECT_EQ(s_.CheckLogFile(locked.string())->kind, Notice::Kind::Error);
  }
  EXPECT_EQ(Shown(), 1);  // checking changes nothing
}

// What opening a name takes: a log as it is, an archive's only log at once,
// a choice among several, and a refusal for an archive with no member or
// one that is no archive at all.
TEST_F(SessionTest, OpeningPlansForLogsAndArchives) {
  const std::filesystem::path samples = std::filesystem::path(KEST_SOURCE_DIR) / "samples";
  const auto plain = dir_.Write("plain.log", ThreadLog());
  OpenPlan plan = s_.PlanOpen(plain.string());
  EXPECT_FALSE(plan.refusal);
  EXPECT_FALSE(plan.choose);
  EXPECT_EQ(plan.where.Format(), plain.string());

  const std::string one = (samples / "one-log.lzh").string();
  plan = s_.PlanOpen(one);
  EXPECT_FALSE(plan.refusal);
  EXPECT_FALSE(plan.choose);
  EXPECT_EQ(plan.where.file, one);
  EXPECT_EQ(plan.where.member, "sample.log");
  // The member's stored name plans to itself.
  EXPECT_EQ(s_.PlanOpen(plan.where.Format()).where.Format(), plan.where.Format());

  plan = s_.PlanOpen((samples / "forum.lzh").string());
  EXPECT_FALSE(plan.refusal);
  ASSERT_TRUE(plan.choose);
  EXPECT_EQ(plan.choose->members.size(), 3u);
  EXPECT_TRUE(plan.where.member.empty());

  // An archive with no member (an empty ZIP: its end record alone).
  const auto empty = dir_.Write("empty.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  plan = s_.PlanOpen(empty.string());
  ASSERT_TRUE(plan.refusal);
  EXPECT_EQ(plan.refusal->kind, Notice::Kind::Info);
  EXPECT_NE(plan.refusal->text.find("empty.zip"), std::string::npos) << plan.refusal->text;

  // What a file holds decides, not its name: text named .lzh is a log.
  const auto fake = dir_.Write("fake.lzh", ThreadLog());
  plan = s_.PlanOpen(fake.string());
  EXPECT_FALSE(plan.refusal);
  EXPECT_FALSE(plan.choose);
  EXPECT_EQ(plan.where.Format(), fake.string());

  // An archive cut short is never taken as whole: refused, or offered with
  // what went wrong.
  std::ifstream in(samples / "forum.lzh", std::ios::binary);
  std::string head(300, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  const auto cut = dir_.Write("cut.lzh", head);
  plan = s_.PlanOpen(cut.string());
  EXPECT_TRUE(plan.refusal || (plan.choose && !plan.choose->damage.empty()));
  EXPECT_TRUE(plan.where.member.empty());

  // A missing file is refused before anything is read.
  plan = s_.PlanOpen((dir_.Path() / "gone.lzh").string());
  ASSERT_TRUE(plan.refusal);
  EXPECT_EQ(plan.refusal->kind, Notice::Kind::Info);
  EXPECT_FALSE(s_.LogLoaded());  // planning opens nothing
}

TEST_F(SessionTest, AClickShowsALineOnceAndAFailedReadAgain) {
  Open(Log({{1, 0}, {2, 0}, {3, 0}}), SortOrder::Remark);
  const std::uint64_t generation = s_.Shown().generation;
  EXPECT_FALSE(s_.ClickLine(ListLine(0)));  // shown already: not read again
  EXPECT_EQ(s_.Shown().generation, generation);
  EXPECT_TRUE(s_.ClickLine(ListLine(2)));
  EXPECT_EQ(Shown(), 3);
  EXPECT_NE(s_.Shown().generation, generation);

  // The file cut short: the remark is named, nothing read through the stale
  // index, the change told (once for the whole operation), and a click on
  // the same line tries again.
  std::filesystem::resize_file(log_, std::filesystem::file_size(log_) - 4);
  EXPECT_TRUE(s_.ClickLine(ListLine(1)));
  EXPECT_TRUE(s_.ClickLine(ListLine(2)));
  EXPECT_EQ(Shown(), 3);
  EXPECT_EQ(s_.Shown().line, ListLine(-1));
  EXPECT_TRUE(s_.Shown().lines.empty());
  std::vector<Notice> notices = s_.TakeNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].kind, Notice::Kind::Changed);
  EXPECT_NE(notices[0].text.find("短く"), std::string::npos);
  EXPECT_TRUE(s_.TakeNotices().empty());
  EXPECT_TRUE(s_.ClickLine(ListLine(2)));  // read again, told again
  EXPECT_EQ(s_.TakeNotices().size(), 1u);

  // The file gone: nothing shown, the status bar still names the remark.
  std::filesystem::remove(log_);
  EXPECT_TRUE(s_.ClickLine(ListLine(0)));
  EXPECT_EQ(Shown(), 1);
  EXPECT_TRUE(s_.Shown().lines.empty());
  EXPECT_EQ(s_.TakeNotices().size(), 1u);
}

TEST_F(SessionTest, PreviousNextAndTheirStatesAlongTheList) {
  Open(Log({{1, 0}, {2, 0}, {3, 0}}), SortOrder::Remark);
  Recorder rec;
  s_.AddObserver(&rec);
  auto states = [&] { return std::pair(Enabled(Command::Prev), Enabled(Command::Next)); };
  EXPECT_EQ(states(), std::pair(false, true));
  EXPECT_FALSE(s_.Prev());
  EXPECT_TRUE(s_.Next());
  EXPECT_EQ(Shown(), 2);
  EXPECT_EQ(states(), std::pair(true, true));
  EXPECT_TRUE(s_.Next());
  EXPECT_EQ(states(), std::pair(true, false));
  EXPECT_FALSE(s_.Next());
  EXPECT_EQ(CommandForKey(kVkNumpad2, s_.KeyState()), PaneCommand::None);
  EXPECT_EQ(CommandForKey(kVkNumpad8, s_.KeyState()), PaneCommand::Prev);
  s_.First();
  EXPECT_EQ(Shown(), 1);
  s_.Last();
  EXPECT_EQ(Shown(), 3);
  EXPECT_EQ(rec.selected, (std::vector<ListLine>{ListLine(1), ListLine(2), ListLine(0), ListLine(2)}));
  EXPECT_FALSE(Enabled(Command::Comment));  // only content order (2) has it
  s_.RemoveObserver(&rec);

  Open(Log({{7, 0}}));
  EXPECT_EQ(states(), std::pair(false, false));
}

TEST_F(SessionTest, FoldsAndTheCommentCommand) {
  Open(Log({{1, 0}, {2, 1}, {3, 1}, {4, 2}, {9, 0}}));
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 9}));
  EXPECT_TRUE(Enabled(Command::Comment));  // 2 is a direct reply of 1
  EXPECT_EQ(CommandForKey(kVkAdd, s_.KeyState()), PaneCommand::Unfold);
  EXPECT_EQ(CommandForKey(kVkSubtract, s_.KeyState()), PaneCommand::None);
  EXPECT_TRUE(s_.ToggleFold());
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3, 9}));
  EXPECT_EQ(s_.LineText(ListLine(0)).substr(0, 3), " -1");
  EXPECT_EQ(CommandForKey(kVkSubtract, s_.KeyState()), PaneCommand::Fold);
  EXPECT_TRUE(s_.Comment());  // unfolded already: just the next line
  EXPECT_EQ(Shown(), 2);
  EXPECT_TRUE(s_.Comment());  // 2 folded: unfolds 4, then goes to it
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 4, 3, 9}));
  EXPECT_EQ(Shown(), 4);
  EXPECT_FALSE(Enabled(Command::Comment));  // 3 is a sibling, not a reply

  s_.Select(ListLine(0));
  EXPECT_TRUE(s_.ToggleFold());  // everything below 1 goes, unfolded or not
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 9}));
  s_.Select(ListLine(1));
  EXPECT_FALSE(s_.ToggleFold());  // the last remark in content order: nothing
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 9}));

  Open(Log({{1, 0}, {2, 1}}), SortOrder::Remark);
  EXPECT_FALSE(s_.ToggleFold());  // no folds in the other orders
}

TEST_F(SessionTest, TheShownLineFollowsFoldsAboveIt) {
  Open(Log({{1, 0}, {2, 1}, {3, 1}, {7, 0}, {8, 7}}));
  EXPECT_TRUE(s_.ClickLine(ListLine(1)));
  EXPECT_EQ(Shown(), 7);
  s_.Select(ListLine(0));        // the selection moves, nothing is shown
  EXPECT_TRUE(s_.ToggleFold());  // inserts 2 and 3 above the shown line
  EXPECT_EQ(s_.Shown().line, ListLine(3));
  EXPECT_TRUE(s_.ClickLine(ListLine(1)));  // line 1 is remark 2 now
  EXPECT_EQ(Shown(), 2);
  s_.Select(ListLine(0));
  EXPECT_TRUE(s_.ToggleFold());  // the shown line itself goes
  EXPECT_EQ(s_.Shown().line, ListLine(-1));
  EXPECT_TRUE(s_.ClickLine(ListLine(1)));  // so line 1, remark 7 again, is shown
  EXPECT_EQ(Shown(), 7);
}

TEST_F(SessionTest, ANumberFoundAgainUnfoldingItsThreadAndAfterANewOrder) {
  Open(ThreadLog());
  s_.SelectRemarkByNumber(RemarkNo(6));  // 6 -> 4 -> 2 -> 1
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 4, 6, 3, 5, 7, 8}));
  EXPECT_EQ(s_.Selected(), ListLine(3));
  EXPECT_EQ(s_.Shown().line, ListLine(3));
  EXPECT_EQ(Shown(), 6);
  EXPECT_NE(Pane().find("body 6"), std::string::npos);
  s_.SelectRemarkByNumber(RemarkNo(99));  // not in the log: nothing changes
  EXPECT_EQ(s_.Selected(), ListLine(3));
  EXPECT_EQ(s_.LineCount(), 8);

  const ByteOffset start = s_.Shown().start;
  EXPECT_EQ(start, s_.Log()->GetItem(s_.Shown().position).StartPos);
  ASSERT_TRUE(s_.Folded());
  Recorder rec;
  s_.AddObserver(&rec);
  EXPECT_TRUE(s_.SetOrder(SortOrder::Remark));
  EXPECT_EQ(rec.resets, 1);
  EXPECT_EQ(Shown(), 6);
  EXPECT_EQ(s_.Shown().start, start);  // the same remark, wherever it stands now
  EXPECT_FALSE(s_.Folded());
  EXPECT_EQ(s_.Selected(), ListLine(5));
  EXPECT_FALSE(s_.SetOrder(SortOrder::Remark));  // in force already
  EXPECT_EQ(rec.resets, 1);
  EXPECT_TRUE(s_.SetOrder(SortOrder::ContentFull));
  EXPECT_EQ(s_.Selected(), ListLine(3));
  s_.RemoveObserver(&rec);

  // A remark in folded content order is reached only through its thread's
  // top: a number the walk passes over leaves the list as it was.
  Open(Log({{1, 0}, {2, 1}, {2, 0}}));
  s_.SelectRemarkByNumber(RemarkNo(2));
  EXPECT_EQ(SelectedNumber(), 2);
  EXPECT_EQ(s_.Search().SpeakerDirection, 0);
}

// The library opens a remark by its offset: in folded content order its
// thread unfolds down to it, a number that two remarks bear leads to the
// one at that offset, and an offset where no remark starts (the log has
// changed) leaves the list as it was.
TEST_F(SessionTest, ARemarkSelectedByItsOffset) {
  Open(Log({{1, 0}, {2, 1}, {3, 2}, {2, 0}, {5, 0}}));
  auto startOf = [this](int position) { return s_.Log()->GetItem(IndexPos(position)).StartPos; };
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 5}));
  ASSERT_TRUE(s_.SelectRemarkAt(startOf(2)));  // 3, under 2 under 1
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3, 2, 5}));
  EXPECT_EQ(s_.PositionOf(s_.Selected()), IndexPos(2));
  EXPECT_EQ(Shown(), 3);
  ASSERT_TRUE(s_.SelectRemarkAt(startOf(3)));  // the other 2, a thread of its own
  EXPECT_EQ(s_.PositionOf(s_.Selected()), IndexPos(3));
  EXPECT_EQ(s_.Shown().start, startOf(3));
  const ListLine before = s_.Selected();
  EXPECT_FALSE(s_.SelectRemarkAt(startOf(3) + 1));
  EXPECT_EQ(s_.Selected(), before);
  EXPECT_EQ(s_.LineCount(), 5);

  // The library's commands wait while it is updated, but for the search
  // and the cancel.
  EXPECT_TRUE(Enabled(Command::LibraryUpdate) && Enabled(Command::LibrarySearch));
  EXPECT_FALSE(Enabled(Command::LibraryCancel));
  s_.SetLibraryUpdating(true);
  EXPECT_FALSE(Enabled(Command::LibraryUpdate) || Enabled(Command::LibraryAddFolder) ||
               Enabled(Command::LibraryFolders));
  EXPECT_TRUE(Enabled(Command::LibraryCancel) && Enabled(Command::LibrarySearch));
}

TEST_F(SessionTest, AColumnToggleKeepsFoldsAndSelectionAndReadsTheRemarkAgain) {
  Open(ThreadLog());
  EXPECT_TRUE(s_.ToggleFold());
  s_.Select(ListLine(2));
  Recorder rec;
  s_.AddObserver(&rec);
  const std::uint64_t generation = s_.Shown().generation;
  s_.ToggleColumn(Command::ShowDate);
  EXPECT_EQ(rec.columns, 1);
  EXPECT_TRUE(s_.Columns().ShowDate);
  EXPECT_EQ(s_.LineCount(), 6);
  EXPECT_EQ(s_.Selected(), ListLine(2));
  EXPECT_EQ(Shown(), 3);  // the selected line's remark, shown anew
  EXPECT_NE(s_.Shown().generation, generation);
  EXPECT_EQ(s_.LineText(ListLine(0)).substr(0, 13), " -1 96/03/01 ");
  s_.ToggleColumn(Command::ShowNumber);
  s_.ToggleColumn(Command::ShowSpeaker);
  EXPECT_FALSE(s_.Columns().ShowNumber || s_.Columns().ShowSpeaker);
  EXPECT_TRUE(Checked(Command::ShowDate) && !Checked(Command::ShowNumber));
  s_.RemoveObserver(&rec);
}

TEST_F(SessionTest, TextSearchInTheFlatOrders) {
  Open(Log({{1, 0, "ABC00001", {"word here"}},
            {2, 0, "ABC00001", {"word", "and WORD"}},
            {3, 0, "ABC00001", {"plain"}}}),
       SortOrder::Remark);
  s_.Search().SearchKey = "word";
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::Found);
  EXPECT_EQ(s_.Selected(), ListLine(1));
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::NotFound);
  EXPECT_EQ(s_.Selected(), ListLine(1));
  EXPECT_EQ(s_.FindText(-1), SearchOutcome::Found);
  EXPECT_EQ(s_.Selected(), ListLine(0));
  EXPECT_EQ(s_.FindText(-1), SearchOutcome::NotFound);
  // Case ignored: the key comes upper-cased.
  s_.Search().SearchKey = "PLAIN";
  s_.Search().IgnoreCase = true;
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::Found);
  EXPECT_EQ(s_.Selected(), ListLine(2));
  // The search finds; showing is the caller's next step.
  EXPECT_EQ(Shown(), 1);

  std::filesystem::remove(log_);
  s_.Select(ListLine(0));
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::Failed);
  EXPECT_EQ(s_.TakeNotices().size(), 1u);
}

TEST_F(SessionTest, TextSearchUnfoldsFoldedThreadsDownToTheMatch) {
  Open(Log({{1, 0, "ABC00001", {"top"}},
            {2, 1, "ABC00001", {"reply"}},
            {3, 2, "ABC00001", {"deep target"}},
            {4, 0, "ABC00001", {"other"}},
            {5, 4, "ABC00001", {"second target"}}}));
  s_.Search().SearchKey = "target";
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 4}));
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::Found);
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(SelectedNumber(), 3);
  EXPECT_EQ(Shown(), 1);  // the walk unfolds without showing; the caller shows the match
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::Found);
  EXPECT_EQ(SelectedNumber(), 5);
  EXPECT_EQ(s_.LineCount(), 5);
  EXPECT_EQ(s_.FindText(-1), SearchOutcome::Found);
  EXPECT_EQ(SelectedNumber(), 3);
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::Found);
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::NotFound);
  EXPECT_EQ(SelectedNumber(), 5);
}

TEST_F(SessionTest, SpeakerSearchAndItsDirection) {
  const std::string log =
      Log({{1, 0, "AAA00001"}, {2, 1, "BBB00002"}, {3, 2, "CCC00003"}, {4, 0, "AAA00001"}});
  Open(log, SortOrder::Remark);
  s_.Search().SearchKey = "AAA00001";
  s_.Search().SpeakerDirection = 1;
  EXPECT_EQ(s_.FindSpeaker(+1), SearchOutcome::Found);
  EXPECT_EQ(Shown(), 4);                       // found and shown
  EXPECT_EQ(s_.Search().SpeakerDirection, 1);  // a find in a flat order leaves it
  EXPECT_EQ(s_.FindSpeaker(+1), SearchOutcome::NotFound);
  EXPECT_EQ(s_.Search().SpeakerDirection, 0);
  EXPECT_EQ(s_.FindSpeaker(-1), SearchOutcome::Found);
  EXPECT_EQ(Shown(), 1);

  Open(log);
  s_.Search().SearchKey = "CCC00003";
  EXPECT_EQ(s_.FindSpeaker(+1), SearchOutcome::Found);
  EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(Shown(), 3);
  EXPECT_EQ(s_.Search().SpeakerDirection, 0);
  EXPECT_EQ(s_.FindSpeaker(-1), SearchOutcome::NotFound);
  EXPECT_EQ(s_.Search().SpeakerDirection, 1);
  // Backward, every ancestor on the way is shown too.
  s_.Select(ListLine(3));
  s_.Search().SearchKey = "BBB00002";
  EXPECT_EQ(s_.FindSpeaker(-1), SearchOutcome::Found);
  EXPECT_EQ(Shown(), 2);
}

TEST_F(SessionTest, RepeatSearchAndOrganizerStates) {
  Open(ThreadLog());
  EXPECT_FALSE(Enabled(Command::FindPrev) || Enabled(Command::FindNext));
  s_.Search().Searched = true;
  EXPECT_TRUE(Enabled(Command::FindPrev) && Enabled(Command::FindNext));
  EXPECT_FALSE(Enabled(Command::OrganizeBookmarks));
  s_.SetHasBookmarks(true);
  EXPECT_TRUE(Enabled(Command::OrganizeBookmarks));
  EXPECT_TRUE(Enabled(Command::AddBookmark) && Enabled(Command::Find) && Enabled(Command::FindSpeaker));
  EXPECT_TRUE(Enabled(Command::Export) && Enabled(Command::ExportThread));
  Open("no remark here\r\n");
  EXPECT_TRUE(Enabled(Command::Export));
  EXPECT_FALSE(Enabled(Command::ExportThread));  // no remark shown: no thread
}

TEST_F(SessionTest, AScanThatFailsLeavesAnEmptyLog) {
  Open(ThreadLog());
  const auto folder = dir_.Path() / "sub";
  std::filesystem::create_directory(folder);
  // A native log that cannot be scanned: the load throws and nothing of
  // either log is left to show.
  NativeLog native = OpenNativeLog(log_);
  std::filesystem::remove(log_);
  EXPECT_THROW(s_.Load(log_.string(), std::move(native)), LogFileError);
  EXPECT_TRUE(s_.LogLoaded());
  EXPECT_EQ(s_.LineCount(), 0);
  EXPECT_FALSE(s_.Title());
  EXPECT_FALSE(s_.Shown().header);
  EXPECT_TRUE(s_.Shown().lines.empty());
}

TEST(SettingsTest, WindowSettingsReadWithDefaultsAndWrittenInTheOrderOfTheTable) {
  TempDir dir;
  const auto path = dir.Path() / "Kest.INI";
  ProfileFile ini(path);
  WindowSettings s = ReadWindowSettings(ini);
  EXPECT_EQ(s.View.SortType, SortOrder::ContentFolded);
  EXPECT_EQ(s.Look.FontName, "FixedSys");
  EXPECT_EQ(s.Look.FontSize, 14);
  EXPECT_EQ(s.Look.TextColor, kClWindowText);
  EXPECT_EQ(s.Look.BackColor, kClWindow);
  EXPECT_EQ(s.Bounds.Top, 40);
  EXPECT_EQ(s.Bounds.Width, 633);

  // The session keeps the view options, the open folder and the recent files
  // from reading to writing.
  s.OpenFolder = "/logs/";
  LogSession session;
  session.ApplySettings(s);
  session.PushRecentFile("/logs/a.log");
  s = WindowSettings();
  session.StoreSettings(s);
  WriteWindowSettings(ini, s);
  // A new file gets its sections in the order of their first keys, and the
  // keys of a section in the order of the table.
  const std::string text = ReadFile(path);
  std::size_t at = 0;
  for (const char* key :
       {"[Option]", "SortType=1", "Numb=1", "Name=1", "Date=0", "OpenFolder=/logs/", "Color=-2147483643",
        "Top=40", "Left=88", "Height=507", "Width=633", "[Font]", "FontName=FixedSys", "FontSize=14",
        "Color=-2147483640", "FontStyle=0", "[FileName]", "File_0=/logs/a.log", "File_4="}) {
    const std::size_t found = text.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << " in\n" << text;
    at = found;
  }

  // Value forms and a face name longer than 255 bytes, cut on a character.
  std::ofstream(path, std::ios::binary)
      << "[Option]\r\nSortType=0x2\r\nNumb=abc\r\nDate=2\r\n[FONT]\r\nFontName=" << std::string(253, 'a')
      << Sjis("漢字") << "\r\n";
  ProfileFile again(path);
  s = ReadWindowSettings(again);
  EXPECT_EQ(s.View.SortType, SortOrder::ContentFull);
  EXPECT_TRUE(s.View.Columns.ShowNumber && s.View.Columns.ShowDate);
  EXPECT_EQ(s.Look.FontName, std::string(253, 'a') + Sjis("漢"));
}

}  // namespace

namespace {

// --- A log changed on disk behind its index -------------------------------------

// Rewrites the file in place (same inode, opened r+), as the user of the
// report did.
void RewriteInPlace(const std::filesystem::path& p, const std::string& bytes) {
  std::FILE* f = std::fopen(p.c_str(), "r+");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

TEST_F(SessionTest, ALogRewrittenInPlaceIsNeverReadThroughItsOldIndex) {
  const std::string before = Log({{1, 0}, {2, 0, "ABC01234", {"first body"}}, {3, 0}, {11, 0}, {12, 0}});
  Open(before, SortOrder::Remark);
  EXPECT_TRUE(s_.ClickLine(ListLine(1)));
  EXPECT_TRUE(s_.Shown().whole);
  EXPECT_TRUE(s_.CheckFile());

  // Other remarks, of the same size, where the log was: the list still
  // names remark 11, and nothing of the new bytes is shown as its text.
  std::string after = Log({{5, 0, "XYZ00001", {"another body"}}, {6, 0}, {7, 0}, {8, 0}, {9, 0}});
  after.resize(before.size(), ' ');
  RewriteInPlace(log_, after);
  s_.Select(ListLine(2));
  EXPECT_TRUE(s_.Next());
  EXPECT_EQ(Shown(), 11);
  EXPECT_TRUE(s_.Shown().lines.empty());
  EXPECT_FALSE(s_.Shown().whole);
  EXPECT_TRUE(s_.Stale());
  std::vector<Notice> notices = s_.TakeNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].kind, Notice::Kind::Changed);
  EXPECT_EQ(notices[0].text, "ログファイルが変更されました");
  EXPECT_EQ(notices[0].path, log_.string());
  EXPECT_FALSE(notices[0].advice.empty());

  // Searching, printing and exporting ask first as well.
  s_.Search().SearchKey = "body";
  EXPECT_EQ(s_.FindText(+1), SearchOutcome::Failed);
  EXPECT_FALSE(s_.ShownReadyForOutput("印刷"));
  EXPECT_FALSE(s_.CheckFile());
  EXPECT_EQ(s_.TakeNotices().size(), 1u);

  // Read again: the list anew, the same remark by number where it still is.
  const std::optional<RemarkNo> again = s_.ReloadNumber();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->v, 11);
  Open(ReadFile(log_), SortOrder::Remark);
  EXPECT_FALSE(s_.Stale());
  s_.SelectRemarkByNumber(RemarkNo(7));
  EXPECT_EQ(Shown(), 7);
  EXPECT_TRUE(s_.Shown().whole);
  EXPECT_TRUE(s_.TakeNotices().empty());
}

TEST_F(SessionTest, AConvertedLogWhoseOriginalChangesIsToldToo) {
  const std::string sjis = Log({{1, 0}, {2, 0}});
  std::string lf;
  for (char c : sjis) {
    if (c != '\r') lf += c;
  }
  log_ = dir_.Write("lf.log", lf);
  WindowSettings settings;
  settings.View.SortType = SortOrder::Remark;
  s_.ApplySettings(settings);
  NativeCopyOptions copy;
  copy.cacheDir = dir_.Path() / "cache";
  s_.Load(log_.string(), OpenNativeLog(log_, copy));
  ASSERT_TRUE(s_.Native().Converted());
  EXPECT_TRUE(s_.CheckFile());
  dir_.Write("lf.log", lf + "more\n");  // the copy is as it was; the original is not
  EXPECT_FALSE(s_.ClickLine(ListLine(1)) && s_.Shown().whole);
  ASSERT_EQ(s_.TakeNotices().size(), 1u);
}

TEST_F(SessionTest, OutputNeedsTheWholeTextOfTheShownRemark) {
  Open(Log({{1, 0}, {2, 0}}), SortOrder::Remark);
  EXPECT_TRUE(s_.ShownReadyForOutput("印刷"));
  EXPECT_TRUE(s_.TakeNotices().empty());
  // A remark whose text could not be read whole (the file cut short while
  // it was read) is not printed with its header alone.
  std::filesystem::remove(log_);
  s_.ClickLine(ListLine(1));
  s_.TakeNotices();
  EXPECT_FALSE(s_.ShownReadyForOutput("印刷"));
  const std::vector<Notice> n = s_.TakeNotices();
  ASSERT_EQ(n.size(), 1u);
  EXPECT_NE(n[0].text.find("見つかりません"), std::string::npos);
  // Nothing shown at all: only the empty header would go out, as ever.
  Open("no remark here\r\n");
  EXPECT_TRUE(s_.ShownReadyForOutput("印刷"));
  EXPECT_TRUE(s_.TakeNotices().empty());
}

TEST_F(SessionTest, AFileWithNoRemarkIsCaptionedByItsName) {
  EXPECT_EQ(s_.Caption(), "Kest32");
  Open(Log({{1, 0}}));
  EXPECT_EQ(s_.Caption(), "Kest32-テストログ");
  Open("\x82\xa0 just bytes \x01\x02\r\n");
  EXPECT_EQ(s_.Caption(), "Kest32-a.log");
  Open("");
  EXPECT_EQ(s_.Caption(), "Kest32-a.log");
}

}  // namespace
