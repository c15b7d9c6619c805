#include "library/LibrarySearch.h"

#include <algorithm>
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
  static constexpr std::size_t kOpen = 16;
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

// The remarks that can match: those the index gives for the key (every
// remark for an empty key), with the query's poster and dates.
std::vector<Candidate> Candidates(Library& library, const LibraryQuery& q, const std::string& key) {
  const std::optional<std::string> match = key.empty() ? std::nullopt : MatchExpression(key);
  std::string sql = "SELECT r.id, r.log, r.start, r.length, r.day FROM ";
  sql += match ? "remark_text CROSS JOIN remarks r ON r.id = remark_text.rowid WHERE remark_text MATCH ?1"
               : "remarks r WHERE 1";
  if (q.from) sql += " AND r.day >= ?2";
  if (q.to) sql += " AND r.day <= ?3";
  if (!q.speaker.empty()) sql += " AND (r.poster = ?4 OR r.speaker = ?4)";
  SqlStatement st(library.Db(), sql.c_str());
  if (match) st.BindText(1, *match);
  if (q.from) st.Bind(2, *q.from);
  if (q.to) st.Bind(3, *q.to);
  if (!q.speaker.empty()) st.BindBlob(4, q.speaker);
  std::vector<Candidate> out;
  while (st.Step()) {
    out.push_back({st.Int(0), st.Int(1), st.Int(2), st.Int(3), st.IsNull(4) ? kNoDay : st.Int(4)});
  }
  return out;
}

}  // namespace

SearchReport SearchLibrary(Library& library, const LibraryQuery& q, const ArchiveHook& hook,
                           const std::function<bool(const LibraryHit&)>& onHit,
                           const std::atomic<bool>* cancel) {
  SearchReport report;
  std::string key = q.ignoreCase ? AnsiUpper(q.key) : q.key;
  // No line holds a CR or a 0x1A byte.
  if (key.find('\r') != std::string::npos || key.find('\x1A') != std::string::npos) return report;

  ReadSnapshot snapshot(library.Db());
  Logs logs(library, hook, report);
  std::vector<Candidate> cands = Candidates(library, q, key);
  std::sort(cands.begin(), cands.end(), [&](const Candidate& a, const Candidate& b) {
    if (a.day != b.day) return q.newestFirst ? a.day > b.day : a.day < b.day;
    const std::int64_t ra = logs.Rank(a.log), rb = logs.Rank(b.log);
    if (ra != rb) return ra < rb;
    return a.start < b.start;
  });

  SqlStatement fields(library.Db(), "SELECT number, poster, speaker, title FROM remarks WHERE id = ?1");
  for (const Candidate& c : cands) {
    if (cancel && cancel->load()) {
      report.cancelled = true;
      break;
    }
    if (logs.Rank(c.log) < 0) continue;
    LineReader* reader = logs.Reader(c.log);
    if (!reader) continue;
    ++report.candidates;
    const ByteOffset start(c.start), end(c.start + c.length);
    if (!key.empty() && !RemarkHoldsKey(*reader, start, end, key, q.ignoreCase)) continue;
    const LibraryLog& log = logs.Log(c.log);
    LibraryHit hit;
    hit.remarkId = c.id;
    hit.logId = c.log;
    hit.path = log.path;
    hit.member = log.member;
    hit.forum = log.title;
    hit.start = start;
    hit.end = end;
    if (c.day != kNoDay) hit.day = static_cast<Day>(c.day);
    fields.Bind(1, c.id);
    if (fields.Step()) {
      hit.number = static_cast<std::int32_t>(fields.Int(0));
      hit.poster = fields.Bytes(1);
      hit.speaker = fields.Bytes(2);
      hit.title = fields.Bytes(3);
    }
    fields.Reset();
    ++report.hits;
    if (!onHit(hit) || (q.limit > 0 && static_cast<std::size_t>(report.hits) >= q.limit)) break;
  }
  return report;
}

}  // namespace kest
