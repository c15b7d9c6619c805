// The content order against the straightforward algorithm kept here as the
// reference: the walk back from every reply, prefixes as strings with the bars
// drawn one by one, and remark order's plain selection sort. Compared on many
// random logs and on the shapes that are hard on a faster build (wide fans,
// deep chains, equal numbers, replies before their parents or to missing
// remarks, builds one after another in every order).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/LogFixture.h"
#include "log/Logunit1.h"
#include "log/TitleLines.h"

namespace kest {
namespace {

using test::Header5;
using test::Line2;

struct Rec {
  std::int64_t id;  // StartPos of the index record
  std::int32_t number, commentTo, level = -1;
  char mark = ' ';
  std::string prefix;
};

const std::string kCorner = "\x84\xAF", kTee = "\x84\xB5", kBar = "\x84\xAB", kBlank = "  ",
                  kWide = "\x81\x40";

std::string Times(const std::string& cell, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += cell;
  return s;
}

void ReferenceSort(std::vector<Rec>& v) {
  const int n = static_cast<int>(v.size());
  if (n <= 2) return;
  for (int i = 1; i <= n - 2; ++i) {
    int m = i;
    for (int j = i + 1; j <= n - 1; ++j) {
      if (v[j].number < v[m].number) m = j;
    }
    std::swap(v[i], v[m]);
  }
}

void ReferenceThreads(std::vector<Rec>& v) {
  const int n = static_cast<int>(v.size());
  for (int j = 0; j < n; ++j) {
    const int P = v[j].commentTo;
    if (P == 0) continue;
    int a = 0;
    bool inRun = false, placed = false;
    for (int b = j - 1; b >= 0; --b) {
      if (v[b].commentTo >= P && !inRun) {
        a = b + 1;
        inRun = true;
      }
      if (v[b].commentTo < P) {
        a = b;
        inRun = false;
      }
      if (v[b].number == P) {
        Rec r = v[j];
        v.erase(v.begin() + j);
        v.insert(v.begin() + b + 1, r);
        v[b + 1].level = v[b].level + 1;
        v[b + 1].prefix = Times(kBlank, v[b + 1].level) + kCorner;
        placed = true;
        break;
      }
      if (v[b].commentTo == P) {
        v[b].prefix = Times(kWide, v[b].level) + kTee;
        Rec r = v[j];
        v.erase(v.begin() + j);
        v.insert(v.begin() + a, r);
        v[a].level = v[b].level;
        v[a].prefix = Times(kBlank, v[a].level) + kCorner;
        placed = true;
        break;
      }
    }
    if (!placed) v[j].commentTo = 0;
  }
  for (int i = 1; i < n; ++i) {
    if (v[i - 1].level > v[i].level && v[i].commentTo != 0) {
      for (int k = i - 1; k >= 0 && v[k].level != v[i].level; --k) {
        std::string& p = v[k].prefix;
        p.erase(0, std::min<std::size_t>(2, p.size()));
        p.insert(std::min<std::size_t>(2 * static_cast<std::size_t>(std::max(v[i].level, 0)), p.size()), kBar);
      }
    }
  }
  for (int i = 0; i + 1 < n; ++i) {
    if (v[i].level < v[i + 1].level) v[i].mark = '+';
  }
}

void Fill(TLogCtrl& index, std::vector<Rec>& ref, const std::vector<std::pair<int, int>>& remarks) {
  std::int64_t pos = 0;
  for (auto [number, commentTo] : remarks) {
    char num[8];
    std::snprintf(num, sizeof num, "%5d", number);  // five columns, negative numbers too
    std::string h1 = Header5(1);
    h1.replace(0, 5, num);
    if (!index.AddRemark(h1, Line2("96/03/01", commentTo), 5, ByteOffset(pos))) continue;
    const TLogData& r = index.GetItem(IndexPos(index.Count() - 1));
    ref.push_back(Rec{pos, r.Number.v, r.CommentTo.v, -1, ' ', {}});
    pos += 10;
  }
}

// Every field the orders touch, position by position.
void ExpectSame(const TLogCtrl& index, const std::vector<Rec>& ref, const std::string& what) {
  ASSERT_EQ(index.Count(), static_cast<int>(ref.size())) << what;
  for (int i = 0; i < index.Count(); ++i) {
    const TLogData& r = index.GetItem(IndexPos(i));
    ASSERT_EQ(r.StartPos.v, ref[i].id) << what << " position " << i;
    ASSERT_EQ(r.CommentTo.v, ref[i].commentTo) << what << " position " << i;
    ASSERT_EQ(r.Level, ref[i].level) << what << " position " << i;
    ASSERT_EQ(r.Mark, ref[i].mark) << what << " position " << i;
    ASSERT_EQ(index.GetPrefix(IndexPos(i)), ref[i].prefix) << what << " position " << i;
  }
  // Drawn as a list is written, keeping the cells from line to line: from the
  // top down, and from the bottom up.
  PrefixDrawer down(index), up(index);
  for (int i = 0; i < index.Count(); ++i) {
    std::string p = "x";
    down.Append(index.GetItem(IndexPos(i)), p);
    ASSERT_EQ(p, "x" + ref[i].prefix) << what << " drawn down to " << i;
  }
  for (int i = index.Count() - 1; i >= 0; --i) {
    std::string p;
    up.Append(index.GetItem(IndexPos(i)), p);
    ASSERT_EQ(p, ref[i].prefix) << what << " drawn up to " << i;
  }
}

// Builds the orders in the given sequence (0 remark order, else content) on
// both and compares after each.
void Compare(const std::vector<std::pair<int, int>>& remarks, const std::vector<int>& orders,
             const std::string& what) {
  TLogCtrl index;
  std::vector<Rec> ref;
  Fill(index, ref, remarks);
  for (std::size_t k = 0; k < orders.size(); ++k) {
    if (orders[k] == 0) {
      index.SortByNumber();
      ReferenceSort(ref);
    } else {
      index.BuildThreads();
      ReferenceThreads(ref);
    }
    ExpectSame(index, ref, what + " after build " + std::to_string(k));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

std::vector<std::pair<int, int>> RandomLog(std::mt19937& rng, int n) {
  // Numbers mostly rising with gaps, repeats and wrap-arounds; replies to
  // recent remarks, old ones, later ones, missing ones and to equal numbers.
  std::vector<std::pair<int, int>> v;
  const int shape = static_cast<int>(rng() % 4);
  int next = 1 + static_cast<int>(rng() % 5);
  for (int i = 0; i < n; ++i) {
    int number = next;
    switch (rng() % 12) {
      case 0: number = 1 + static_cast<int>(rng() % (next + 2)); break;  // an equal or older number
      case 1: number = next + static_cast<int>(rng() % 4); break;
      case 2: if (shape == 3) number = -static_cast<int>(rng() % 50); break;
      default: break;
    }
    next += 1 + (shape == 1 ? static_cast<int>(rng() % 3) : 0);
    int commentTo = 0;
    const unsigned r = rng() % 10;
    if (i > 0 && r < 6) {
      int back = 1 + static_cast<int>(rng() % std::min(i, shape == 2 ? 3 : 30));
      commentTo = std::max(v[static_cast<std::size_t>(i - back)].first, 0);
    } else if (r == 6) {
      commentTo = next + static_cast<int>(rng() % 5);  // a later or missing remark
    } else if (r == 7 && i > 0) {
      commentTo = std::max(v[rng() % static_cast<std::size_t>(i)].first, 0);
    }
    v.emplace_back(number, commentTo);
  }
  return v;
}

TEST(Threads, MatchesTheReferenceOnRandomLogs) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 600; ++round) {
    const int n = 1 + static_cast<int>(rng() % (round < 500 ? 40 : 400));
    auto log = RandomLog(rng, n);
    std::vector<int> orders;
    const int builds = 1 + static_cast<int>(rng() % 4);
    for (int b = 0; b < builds; ++b) orders.push_back(static_cast<int>(rng() % 3));
    orders.push_back(1);
    Compare(log, orders, "round " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

TEST(Threads, MatchesTheReferenceOnHardShapes) {
  std::vector<std::pair<int, int>> fan, chain, caterpillar, backwards, equal, missing, comb;
  fan.emplace_back(1, 0);
  for (int i = 2; i <= 600; ++i) fan.emplace_back(i, i % 3 == 0 ? 1 : 2);
  for (int i = 1; i <= 600; ++i) chain.emplace_back(i, i - 1);
  // A chain, then a second reply to every link from the deepest up, and
  // from the top down: bars down the rest of the chain from each.
  for (int i = 1; i <= 300; ++i) caterpillar.emplace_back(i, i - 1);
  for (int i = 300; i >= 1; --i) caterpillar.emplace_back(1000 + i, i);
  for (int i = 1; i <= 150; ++i) caterpillar.emplace_back(2000 + i, i);
  for (int i = 400; i >= 1; --i) backwards.emplace_back(i, i > 1 ? i - 1 : 0);  // replies before parents
  for (int i = 1; i <= 400; ++i) equal.emplace_back(1 + i % 7, i % 5 == 0 ? 0 : 1 + (i * 3) % 7);
  for (int i = 1; i <= 400; ++i) missing.emplace_back(2 * i, i % 2 ? 2 * i - 1 : 2 * i - 2);
  // Old threads answered again after many new ones.
  for (int i = 1; i <= 300; ++i) comb.emplace_back(i, 0);
  for (int i = 301; i <= 700; ++i) comb.emplace_back(i, 1 + (i * 37) % 300);
  for (const auto& [name, log] : {std::pair{"fan", fan}, {"chain", chain}, {"caterpillar", caterpillar},
                                  {"backwards", backwards}, {"equal", equal}, {"missing", missing},
                                  {"comb", comb}}) {
    for (const std::vector<int>& orders : {std::vector<int>{1}, {1, 1}, {1, 0, 1}, {0, 1, 0, 2}}) {
      Compare(log, orders, name);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(Threads, WrappedNumbersKeepTheirPrefixesAsCells) {
  // Five columns make numbers wrap around after 99999, and a reply's sibling
  // run can then pass a shallower record: a few walks of pass 2 become
  // irregular. Only the records those walks reach may take their prefix as
  // text; the rest stay cells, so memory hardly grows.
  auto wrapped = [](int n, int wrap) {
    std::mt19937 rng(99);
    std::vector<std::pair<int, int>> v;
    for (int i = 0; i < n; ++i) {
      int commentTo = 0;
      if (i > 0 && rng() % 5 >= 2) commentTo = (i - 1 - static_cast<int>(rng() % std::min(i, 40))) % wrap + 1;
      v.emplace_back(i % wrap + 1, commentTo);
    }
    return v;
  };
  Compare(wrapped(5000, 997), {1, 0, 1, 2}, "wrapped at 997");

  TLogCtrl index;
  std::vector<Rec> unused;
  Fill(index, unused, wrapped(250'000, 99999));
  const std::size_t before = index.MemoryUsed();
  index.BuildThreads();
  EXPECT_LT(index.MemoryUsed() - before, 250'000u) << "bytes of prefix text";
}

TEST(Threads, DeepChainInBoundedMemory) {
  // 100,000 deep: the drawn prefixes alone would be 10 GB.
  TLogCtrl index;
  const int n = 99999;
  for (int i = 1; i <= n; ++i) index.AddRemark(Header5(i), Line2("96/03/01", i - 1), 5, ByteOffset(i * 10LL));
  index.BuildThreads();
  ASSERT_EQ(index.GetLevel(IndexPos(n - 1)), n - 2);
  EXPECT_LT(index.MemoryUsed() / n, 64u) << index.MemoryUsed() / n;
  const std::string deep = index.GetPrefix(IndexPos(n - 1));
  EXPECT_EQ(deep.size(), 2u * static_cast<std::size_t>(n - 1));
  EXPECT_EQ(deep.substr(deep.size() - 4), "  " + kCorner);
  // A second reply to the top of the chain draws a bar down all of it.
  TLogCtrl barred;
  for (int i = 1; i <= 20000; ++i) barred.AddRemark(Header5(i), Line2("96/03/01", i - 1), 5, ByteOffset(i * 10LL));
  barred.AddRemark(Header5(20001), Line2("96/03/01", 1), 5, ByteOffset(300000));
  barred.BuildThreads();
  const std::string p = barred.GetPrefix(IndexPos(19999));
  EXPECT_EQ(p.substr(0, 4), kBar + kBlank);
  EXPECT_EQ(barred.GetPrefix(IndexPos(1)), kTee);
}

}  // namespace
}  // namespace kest
