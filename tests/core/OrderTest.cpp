// The orderings: remark order's selection sort, the thread building of the
// content orders, the line texts, folding, and the comment chain.
#include <gtest/gtest.h>

#include <random>

#include "core/LogFixture.h"
#include "log/Logunit1.h"
#include "log/TitleLines.h"
#include "platform/Codec.h"

namespace kest {
namespace {

using test::Header5;
using test::Line2;

// An index from (number, comment-to) pairs in file order.
void Fill(TLogCtrl& index, std::initializer_list<std::pair<int, int>> remarks) {
  std::int64_t pos = 0;
  for (auto [number, commentTo] : remarks) {
    index.AddRemark(Header5(number, "ABC01234", "sp", "t" + std::to_string(number)),
                    Line2("96/03/01", commentTo), 5, ByteOffset(pos));
    pos += 100;
    index.SetLastEnd(ByteOffset(pos - 10));
  }
}

std::vector<int> Numbers(const TLogBase& index) {
  std::vector<int> v;
  for (int i = 0; i < index.Count(); ++i) v.push_back(index.GetNumber(IndexPos(i)).v);
  return v;
}

std::string Cells(std::string_view prefix) {
  // The prefix as readable cells.
  std::string out;
  for (std::size_t i = 0; i + 1 < prefix.size() + 1 && i < prefix.size(); i += 2) {
    std::string_view c = prefix.substr(i, 2);
    if (c == "\x84\xAF") out += "L";
    else if (c == "\x84\xB5") out += "T";
    else if (c == "\x84\xAB") out += "|";
    else if (c == "  ") out += "_";
    else if (c == "\x81\x40") out += "w";
    else out += "?";
  }
  return out;
}

TEST(Order, WorkedExample) {
  TLogCtrl index;
  Fill(index, {{1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 1}, {6, 4}, {7, 0}, {8, 9}});
  index.BuildThreads();
  EXPECT_EQ(Numbers(index), (std::vector<int>{1, 2, 4, 6, 3, 5, 7, 8}));
  struct Row { int level; const char* cells; char mark; };
  const Row rows[] = {{-1, "", '+'}, {0, "T", '+'}, {1, "|L", '+'}, {2, "|_L", ' '},
                      {0, "T", ' '}, {0, "L", ' '}, {-1, "", ' '}, {-1, "", ' '}};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const TLogData& r = index.GetItem(IndexPos(i));
    EXPECT_EQ(r.Level, rows[i].level);
    EXPECT_EQ(Cells(index.GetPrefix(IndexPos(i))), rows[i].cells);
    EXPECT_EQ(r.Mark, rows[i].mark);
  }
  EXPECT_EQ(index.GetCommentTo(IndexPos(7)), RemarkNo(0));  // 9 is not in the log
  // The comment chain runs from the remark to the top of its thread.
  EXPECT_EQ(index.CommentChain(RemarkNo(6)), (ChainList{RemarkNo(6), RemarkNo(4), RemarkNo(2), RemarkNo(1)}));
  EXPECT_EQ(index.CommentChain(RemarkNo(7)), (ChainList{RemarkNo(7)}));
  EXPECT_TRUE(index.CommentChain(RemarkNo(99)).empty());
  EXPECT_EQ(index.CommentChain(RemarkNo(8)), (ChainList{RemarkNo(8)}));  // cleared: a top now
}

TEST(Order, ReplyBeforeItsParentBecomesATopRemarkForGood) {
  TLogCtrl index;
  Fill(index, {{1, 0}, {3, 2}, {2, 1}});
  index.BuildThreads();
  EXPECT_EQ(Numbers(index), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(index.GetCommentTo(IndexPos(2)), RemarkNo(0));
  EXPECT_EQ(index.GetLevel(IndexPos(2)), -1);
  // Remark order and a second content order keep it a top remark.
  index.SortByNumber();
  index.BuildThreads();
  EXPECT_EQ(index.GetCommentTo(IndexPos(2)), RemarkNo(0));
}

TEST(Order, SiblingsGetTeeCornerAndBars) {
  // Two replies to 1: the earlier one's subtree gets a bar in its column.
  TLogCtrl index;
  Fill(index, {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 1}});
  index.BuildThreads();
  EXPECT_EQ(Numbers(index), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Cells(index.GetPrefix(IndexPos(1))), "T");
  EXPECT_EQ(Cells(index.GetPrefix(IndexPos(2))), "|L");
  EXPECT_EQ(Cells(index.GetPrefix(IndexPos(3))), "|_L");
  EXPECT_EQ(Cells(index.GetPrefix(IndexPos(4))), "L");
}

TEST(Order, NewReplyGoesAfterTheLastSiblingsWholeSubtree) {
  TLogCtrl index;
  Fill(index, {{1, 0}, {2, 1}, {3, 2}, {4, 1}, {5, 4}, {6, 1}, {7, 2}});
  index.BuildThreads();
  EXPECT_EQ(Numbers(index), (std::vector<int>{1, 2, 3, 7, 4, 5, 6}));
  EXPECT_EQ(index.GetLevel(IndexPos(3)), 1);
  EXPECT_EQ(Cells(index.GetPrefix(IndexPos(2))), "|T");  // 3 gets the tee for its sibling 7
  EXPECT_EQ(Cells(index.GetPrefix(IndexPos(3))), "|L");
}

TEST(Order, SortByNumberKeepsPositionZero) {
  TLogCtrl two;
  Fill(two, {{5, 0}, {3, 0}});
  two.SortByNumber();
  EXPECT_EQ(Numbers(two), (std::vector<int>{5, 3}));

  TLogCtrl index;
  Fill(index, {{9, 0}, {7, 0}, {2, 0}, {8, 0}, {1, 0}});
  index.SortByNumber();
  EXPECT_EQ(Numbers(index), (std::vector<int>{9, 1, 2, 7, 8}));
}

TEST(Order, SortByNumberMatchesTheSelectionSortOnManyShapes) {
  // A plain selection sort, as the reference for the fast one; equal numbers
  // are told apart by their StartPos. The shapes: numbers that wrap around
  // as five columns make them, few distinct numbers, descending, nearly
  // sorted, all equal, and numbers far apart (set directly, as no header
  // field holds them).
  auto check = [](const std::vector<std::int32_t>& numbers, const std::string& name) {
    TLogCtrl index;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      index.AddRemark(Header5(1), Line2(), 5, ByteOffset(static_cast<std::int64_t>(i)));
      index.GetItem(IndexPos(static_cast<std::int32_t>(i))).Number = RemarkNo(numbers[i]);
    }
    std::vector<std::pair<std::int32_t, std::int64_t>> ref;
    for (std::size_t i = 0; i < numbers.size(); ++i) ref.emplace_back(numbers[i], static_cast<std::int64_t>(i));
    for (std::size_t i = 1; i + 1 < ref.size(); ++i) {
      std::size_t m = i;
      for (std::size_t j = i + 1; j < ref.size(); ++j) {
        if (ref[j].first < ref[m].first) m = j;
      }
      std::swap(ref[i], ref[m]);
    }
    index.SortByNumber();
    for (int i = 0; i < index.Count(); ++i) {
      ASSERT_EQ(index.GetItem(IndexPos(i)).StartPos.v, ref[static_cast<std::size_t>(i)].second) << name << " " << i;
    }
  };
  std::mt19937 rng(4242);
  for (int round = 0; round < 40; ++round) {
    const int n = 1 + static_cast<int>(rng() % (round < 30 ? 60 : 3000));
    const int distinct = 1 + static_cast<int>(rng() % 50);
    std::vector<std::int32_t> few, wrapped, descending, nearly, equal, far;
    for (int i = 0; i < n; ++i) {
      few.push_back(1 + static_cast<int>(rng() % static_cast<unsigned>(distinct)));
      wrapped.push_back(i % (distinct * 7) + 1);
      descending.push_back(n - i);
      nearly.push_back(i + 1);
      equal.push_back(7);
      far.push_back(static_cast<std::int32_t>(rng() % 4) * 600'000'000 - 900'000'000 + static_cast<int>(rng() % 3));
    }
    for (int k = 0; k < n / 10; ++k) std::swap(nearly[rng() % n], nearly[rng() % n]);
    const std::string r = " round " + std::to_string(round);
    check(few, "few" + r);
    check(wrapped, "wrapped" + r);
    check(descending, "descending" + r);
    check(nearly, "nearly" + r);
    check(equal, "equal" + r);
    check(far, "far" + r);
    if (HasFatalFailure()) return;
  }
}

TEST(Lines, FormatTitleAndModeForms) {
  TLogCtrl index;
  index.AddRemark(Header5(57, "ABC01234", "speaker", "title"), Line2("96/03/01"), 5, ByteOffset(0));
  const TLogData& r = index.GetItem(IndexPos(0));
  ColumnSwitches all{true, true, true};
  EXPECT_EQ(FormatTitle(r, all), "57 96/03/01 ABC01234 speaker           title");
  EXPECT_EQ(FormatTitle(r, ColumnSwitches{false, false, false}), " title");
  EXPECT_EQ(FormatTitle(r, ColumnSwitches{true, false, false}), "57  title");
  EXPECT_EQ(ListLineText(index, IndexPos(0), SortOrder::Remark, ColumnSwitches{false, false, true}), "96/03/01  title");
}

TEST(Fold, UnfoldFoldExample) {
  // A top remark with two direct replies, one of which has a reply itself.
  TLogCtrl index;
  Fill(index, {{1, 0}, {2, 1}, {3, 2}, {4, 1}, {5, 0}});
  index.BuildThreads();
  FoldedList list;
  list.Build(index);
  ColumnSwitches cols{true, false, false};
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.LineText(index, ListLine(0), cols), " +1  t1");

  struct Recorder : FoldObserver {
    std::vector<std::string> events;
    void BeginInsert(ListLine f, ListLine l) override { events.push_back("ins " + std::to_string(f.v) + "-" + std::to_string(l.v)); }
    void EndInsert() override {}
    void BeginRemove(ListLine f, ListLine l) override { events.push_back("rm " + std::to_string(f.v) + "-" + std::to_string(l.v)); }
    void EndRemove() override {}
    void LineChanged(ListLine l) override { events.push_back("chg " + std::to_string(l.v)); }
  } rec;

  EXPECT_TRUE(list.ToggleFold(index, ListLine(0), &rec));
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.LineText(index, ListLine(0), cols), " -1  t1");
  EXPECT_EQ(list.LineText(index, ListLine(1), cols), " " + std::string("\x84\xB5") + " +2  t2");
  EXPECT_EQ(list.LineText(index, ListLine(2), cols), " " + std::string("\x84\xAF") + "  4  t4");
  EXPECT_EQ(list.Item(ListLine(1)).Level, 0);

  list.ToggleFold(index, ListLine(1), &rec);  // its reply appears below it
  ASSERT_EQ(list.Count(), 5);
  EXPECT_EQ(list.Item(ListLine(2)).Number, RemarkNo(3));

  list.ToggleFold(index, ListLine(0), &rec);  // folding the top removes all three
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.LineText(index, ListLine(0), cols), " +1  t1");
  EXPECT_EQ(rec.events, (std::vector<std::string>{"chg 0", "ins 1-2", "chg 1", "ins 2-2", "rm 1-3", "chg 0"}));

  // A line without replies changes nothing; the last remark does nothing at all.
  rec.events.clear();
  EXPECT_FALSE(list.ToggleFold(index, ListLine(1), &rec));
  EXPECT_TRUE(rec.events.empty());
  EXPECT_EQ(list.Count(), 2);
}

TEST(Fold, ExpandAllGivesEveryRemarkALine) {
  TLogCtrl index;
  Fill(index, {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 1}, {6, 0}, {7, 6}});
  index.BuildThreads();
  FoldedList list;
  list.Build(index);
  list.ExpandAll(index);
  ASSERT_EQ(list.Count(), index.Count());
  for (int l = 0; l < list.Count(); ++l) EXPECT_EQ(list.Item(ListLine(l)).Index, IndexPos(l));
  EXPECT_EQ(list.LineText(index, ListLine(3), ColumnSwitches{true, false, false}),
            " " + std::string("\x84\xAB  \x84\xAF") + "  4  t4");
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

TEST(Fold, ExpandAllEqualsDoubleClickingEveryLineInTurn) {
  // Random logs, threaded once from file order and once more after remark
  // order (so levels left by the first build linger); the one-pass expansion
  // must give exactly the lines of double-clicking each line in turn.
  unsigned seed = 7;
  auto next = [&seed](unsigned mod) { seed = seed * 1103515245 + 12345; return (seed >> 16) % mod; };
  for (int round = 0; round < 40; ++round) {
    TLogCtrl index;
    const int n = 5 + static_cast<int>(next(60));
    for (int i = 0; i < n; ++i) {
      int number = 1 + static_cast<int>(next(static_cast<unsigned>(n)));
      int commentTo = next(3) == 0 ? 0 : 1 + static_cast<int>(next(static_cast<unsigned>(n)));
      index.AddRemark(test::Header5(number), test::Line2("96/03/01", commentTo), 5, ByteOffset(i));
    }
    index.BuildThreads();
    if (round % 2) {
      index.SortByNumber();
      index.BuildThreads();
    }
    FoldedList fast, slow;
    fast.Build(index);
    slow.Build(index);
    fast.ExpandAll(index);
    for (std::int32_t l = 0; l < slow.Count(); ++l) {
      const TLogItem& item = slow.Item(ListLine(l));
      if (!item.Expanded && item.Index.v < index.Count() - 1 &&
          index.GetLevel(item.Index) < index.GetLevel(item.Index + 1)) {
        slow.ToggleFold(index, ListLine(l));
      }
    }
    ASSERT_EQ(fast.Count(), slow.Count()) << round;
    for (std::int32_t l = 0; l < slow.Count(); ++l) {
      EXPECT_EQ(fast.Item(ListLine(l)).Index, slow.Item(ListLine(l)).Index) << round << ":" << l;
      EXPECT_EQ(fast.Item(ListLine(l)).Expanded, slow.Item(ListLine(l)).Expanded);
    }
  }
}

}  // namespace
}  // namespace kest
