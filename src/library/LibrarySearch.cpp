#include "library/LibrarySearch.h"

#include <algorithm>
#include <limits>
#include <list>
#include <map>
#include <memory>

#include "library/FtsTokenizer.h"
#include "library/RemarkCheck.h"
#include "platform/Codec.h"

namespace kest {
namespace {

// No day sorts before every day.
constexpr std::int64_t kNoDay = INT64_MIN;

struct Candidate {
  std::int64_t id;
  std::int64_t log;
  std::int64_t start;
  std::int64_t length;
  std::int64_t day;
};

// The logs of the library as the search needs them, and their files opened
// for the checks, a few at a time.
class Logs {
 public:
  Logs(Library& library, const ArchiveHook& hook, SearchReport& report) : hook_(hook), report_(report) {
    std::vector<LibraryLog> all = library.Logs();
    for (std::size_t i = 0; i < all.size(); ++i) {
      Entry& e = entries_[all[i].id];
      e.rank = static_cast<std::int64_t>(i);  // Logs() come by path and member
      e.log = std::move(all[i]);
    }
  }

  // The rank of a log in the order of paths; -1 for a log not in the table.
  std::int64_t Rank(std::int64_t id) const {
    auto it = entries_.find(id);
    return it == entries_.end() ? -1 : it->second.rank;
  }
  const LibraryLog& Log(std::int64_t id) const { return entries_.at(id).log; }

  // The reader of the log's file as it is now; nullptr when it is gone or
  // has changed since it was indexed (reported once).
  LineReader* Reader(std::int64_t id) {
    Entry& e = entries_.at(id);
    if (e.state == State::Bad) return nullptr;
    if (e.state == State::Unchecked) {
      const std::optional<FileStamp> now = StampOf(e.log.path);
      const std::string name = e.log.member.empty() ? e.log.path : e.log.path + " » " + e.log.member;
      if (!now) {
        Bad(e, "ログがなくなっています (ライブラリを更新してください): " + name);
        return nullptr;
      }
      if (!(*now == e.log.stamp)) {
        Bad(e, "ログがライブラリの更新後に変わっています (ライブラリを更新してください): " + name);
        return nullptr;
      }
      e.state = State::Good;
    }
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (it->id == id) {
        open_.splice(open_.begin(), open_, it);
        return open_.front().reader.get();
      }
    }
    try {
      Open o;
      o.id = id;
      o.log = std::make_unique<OpenedLog>(e.log.path, e.log.member, hook_, e.log.native);
      // A block a little larger than most remarks: the checks jump about.
      o.reader = std::make_unique<LineReader>(o.log->ReadPath(), 16 * 1024);
      if (o.reader->Size() != e.log.stamp.size && e.log.member.empty() && e.log.native) {
        Bad(e, "ログがライブラリの更新後に変わっています (ライブラリを更新してください): " + e.log.path);
        return nullptr;
      }
      open_.push_front(std::move(o));
      if (open_.size() > kOpen) open_.pop_back();
      return open_.front().reader.get();
    } catch (const std::exception& ex) {
      Bad(e, ex.what());
      return nullptr;
    }
  }

 private:
  static constexpr std::size_t kOpen = 64;
  enum class State { Unchecked, Good, Bad };
  struct Entry {
    LibraryLog log;
    std::int64_t rank = 0;
    State state = State::Unchecked;
  };
  struct Open {
    std::int64_t id = 0;
    std::unique_ptr<OpenedLog> log;
    std::unique_ptr<LineReader> reader;
  };

  void Bad(Entry& e, std::string message) {
    e.state = State::Bad;
    report_.problems.push_back(std::move(message));
  }

  const ArchiveHook& hook_;
  SearchReport& report_;
  std::map<std::int64_t, Entry> entries_;
  std::list<Open> open_;  // most recently used first
};

// One snapshot of the database for the whole search, though an update
// commits meanwhile.
class ReadSnapshot {
 public:
  explicit ReadSnapshot(SqlDb& db) : db_(db) { db_.Exec("BEGIN"); }
  ~ReadSnapshot() { sqlite3_exec(db_.Handle(), "COMMIT", nullptr, nullptr, nullptr); }
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

 private:
  SqlDb& db_;
};

// The order of the hits: by day (no day before all), then by the log's
// path, then by offset; newest first turns the days round.
class Order {
 public:
  Order(const Logs& logs, bool newestFirst) : logs_(logs), newestFirst_(newestFirst) {}
  bool operator()(const Candidate& a, const Candidate& b) const {
    if (a.day != b.day) return newestFirst_ ? a.day > b.day : a.day < b.day;
    const std::int64_t ra = logs_.Rank(a.log), rb = logs_.Rank(b.log);
    if (ra != rb) return ra < rb;
    return a.start < b.start;
  }

 private:
  const Logs& logs_;
  bool newestFirst_;
};

// The query's poster and dates, and the days not walked yet, as SQL on the
// remarks `r`; the parameters from ?2 on.
std::string Filters(const LibraryQuery& q, bool afterBoundary, bool newestFirst) {
  std::string sql;
  if (q.from) sql += " AND r.day >= ?2";
  if (q.to) sql += " AND r.day <= ?3";
  if (!q.speaker.empty()) sql += " AND (r.poster = ?4 OR r.speaker = ?4)";
  // The days the walk has not reached (no day counts as before every day).
  if (afterBoundary) sql += newestFirst ? " AND (r.day < ?5 OR r.day IS NULL)" : " AND r.day > ?5";
  return sql;
}

void BindFilters(SqlStatement& st, const LibraryQuery& q, std::optional<std::int64_t> boundary) {
  if (q.from) st.Bind(2, *q.from);
  if (q.to) st.Bind(3, *q.to);
  if (!q.speaker.empty()) st.BindBlob(4, q.speaker);
  if (boundary) st.Bind(5, *boundary);
}

Candidate Row(const SqlStatement& st) {
  return {st.Int(0), st.Int(1), st.Int(2), st.Int(3), st.IsNull(4) ? kNoDay : st.Int(4)};
}

class Search {
 public:
  Search(Library& library, const LibraryQuery& q, std::string key, const ArchiveHook& hook,
         const std::function<bool(const LibraryHit&)>& onHit, const std::atomic<bool>* cancel,
         SearchReport& report)
      : library_(library),
        q_(q),
        key_(std::move(key)),
        matcher_(key_, q.ignoreCase),
        logs_(library, hook, report),
        order_(logs_, q.newestFirst),
        onHit_(onHit),
        cancel_(cancel),
        report_(report),
        fields_(library.Db(), "SELECT number, poster, speaker, title FROM remarks WHERE id = ?1") {}

  void Run() {
    const std::optional<std::string> match = key_.empty() ? std::nullopt : MatchExpression(key_);
    // Day by day in order, every remark checked.
    std::string sql = "SELECT r.id, r.log, r.start, r.length, r.day FROM remarks r WHERE 1" +
                      Filters(q_, false, q_.newestFirst) +
                      (q_.newestFirst ? " ORDER BY r.day DESC" : " ORDER BY r.day");
    SqlStatement walk(library_.Db(), sql.c_str());
    BindFilters(walk, q_, std::nullopt);
    std::vector<Candidate> day;
    std::int64_t walked = 0;
    std::optional<std::int64_t> last;  // the last day walked
    bool more = walk.Step();
    while (more) {
      // The search first checks the remarks in order, one by one: a key
      // that many of them hold is found page by page at once that way, and
      // the index would hardly narrow it. A key that few hold is looked up in
      // the index for the rest of the days.
      if (match && walked >= q_.walkFirst && report_.hits * q_.keepWalking <= walked) {
        Indexed(*match, last);
        return;
      }
      day.clear();
      const std::int64_t d = walk.IsNull(4) ? kNoDay : walk.Int(4);
      do {
        day.push_back(Row(walk));
        more = walk.Step();
      } while (more && (walk.IsNull(4) ? kNoDay : walk.Int(4)) == d);
      walked += static_cast<std::int64_t>(day.size());
      last = d;
      if (!Check(day)) return;
    }
  }

 private:
  // The candidates from the index of the days after the day `walked` (all
  // days when none was), in order. (Newest first, the remarks without a day
  // come last, so the walk has always stopped at a day.)
  void Indexed(const std::string& match, std::optional<std::int64_t> walked) {
    std::string sql =
        "SELECT r.id, r.log, r.start, r.length, r.day FROM remark_text CROSS JOIN remarks r "
        "ON r.id = remark_text.rowid WHERE remark_text MATCH ?1" +
        Filters(q_, walked.has_value(), q_.newestFirst);
    SqlStatement st(library_.Db(), sql.c_str());
    st.BindText(1, match);
    if (walked == kNoDay) walked = std::numeric_limits<std::int64_t>::min();
    BindFilters(st, q_, walked);
    std::vector<Candidate> cands;
    while (st.Step()) cands.push_back(Row(st));
    Check(cands);
  }

  // Checks the candidates in order and hands on the hits; false when the
  // search ends here (stopped, cancelled, or the limit reached).
  bool Check(std::vector<Candidate>& cands) {
    std::sort(cands.begin(), cands.end(), order_);
    for (const Candidate& c : cands) {
      if (cancel_ && cancel_->load()) {
        report_.cancelled = true;
        return false;
      }
      if (logs_.Rank(c.log) < 0) continue;
      LineReader* reader = logs_.Reader(c.log);
      if (!reader) continue;
      ++report_.candidates;
      const ByteOffset start(c.start), end(c.start + c.length);
      if (!key_.empty() && !RemarkHoldsKey(*reader, start, end, matcher_)) continue;
      ++report_.hits;
      LibraryHit hit = Hit(c);
      if (q_.withContext && !key_.empty()) {
        if (std::optional<MatchContext> m = FindMatchContext(*reader, start, end, matcher_)) {
          hit.context = std::move(m->line);
          hit.contextAt = m->at;
        }
      }
      if (!onHit_(hit) || (q_.limit > 0 && static_cast<std::size_t>(report_.hits) >= q_.limit))
        return false;
    }
    return true;
  }

  LibraryHit Hit(const Candidate& c) {
    const LibraryLog& log = logs_.Log(c.log);
    LibraryHit hit;
    hit.remarkId = c.id;
    hit.logId = c.log;
    hit.path = log.path;
    hit.member = log.member;
    hit.stamp = log.stamp;
    hit.forum = log.title;
    hit.start = ByteOffset(c.start);
    hit.end = ByteOffset(c.start + c.length);
    if (c.day != kNoDay) hit.day = static_cast<Day>(c.day);
    fields_.Bind(1, c.id);
    if (fields_.Step()) {
      hit.number = static_cast<std::int32_t>(fields_.Int(0));
      hit.poster = fields_.Bytes(1);
      hit.speaker = fields_.Bytes(2);
      hit.title = fields_.Bytes(3);
    }
    fields_.Reset();
    return hit;
  }

  Library& library_;
  const LibraryQuery& q_;
  const std::string key_;
  const KeyMatcher matcher_;  // the rule of the one-log search, for key_
  Logs logs_;
  Order order_;
  const std::function<bool(const LibraryHit&)>& onHit_;
  const std::atomic<bool>* cancel_;
  SearchReport& report_;
  SqlStatement fields_;
};

}  // namespace

SearchReport SearchLibrary(Library& library, const LibraryQuery& q, const ArchiveHook& hook,
                           const std::function<bool(const LibraryHit&)>& onHit,
                           const std::atomic<bool>* cancel) {
  SearchReport report;
  std::string key = q.ignoreCase ? AnsiUpper(q.key) : q.key;
  // No line holds a CR or a 0x1A byte.
  if (key.find('\r') != std::string::npos || key.find('\x1A') != std::string::npos) return report;
  ReadSnapshot snapshot(library.Db());
  Search(library, q, std::move(key), hook, onHit, cancel, report).Run();
  return report;
}

}  // namespace kest
