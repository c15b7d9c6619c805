#include "export/Export.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <map>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "export/Html.h"
#include "export/RemarkBytes.h"
#include "log/RemarkHeader.h"
#include "platform/Codec.h"

namespace kest {

IndexPos FindStart(const TLogBase& index, ByteOffset start) {
  for (std::int32_t p = 0; p < index.Count(); ++p) {
    if (index.GetItem(IndexPos(p)).StartPos == start) return IndexPos(p);
  }
  return IndexPos(-1);
}

namespace {

bool IsContentOrder(SortOrder order) {
  return order == SortOrder::ContentFolded || order == SortOrder::ContentFull;
}

// The positions from `top` on that lie in its subtree: `top` and every
// following record deeper than it, as content order places them.
void AppendSubtree(const TLogBase& index, IndexPos top, std::vector<IndexPos>& out) {
  const std::int32_t level = index.GetLevel(top);
  out.push_back(top);
  for (IndexPos q = top + 1; q.v < index.Count() && index.GetLevel(q) > level; ++q) out.push_back(q);
}

}  // namespace

ExportSelection SelectRemarks(const ExportSource& source, ExportScope scope, IndexPos remark,
                              const ScanProgress& progress) {
  if (!source.index) throw ExportError("ログが開かれていません");
  const TLogCtrl& index = *source.index;
  ExportSelection sel;
  sel.scope_ = scope;
  sel.index_ = &index;
  const std::int32_t n = index.Count();
  if ((scope == ExportScope::Remark || scope == ExportScope::Thread) && (remark.v < 0 || remark.v >= n)) {
    throw ExportError("エクスポートする発言がありません");
  }
  switch (scope) {
    case ExportScope::Remark: sel.positions_.push_back(remark); break;
    case ExportScope::Thread: {
      IndexPos p = remark;
      if (!IsContentOrder(source.order)) {
        // The caller's index is not in content order, and rearranging it
        // would lose the caller's order: the thread comes from an index of
        // our own, in content order, where the remark is found again by its
        // place in the file.
        const ByteOffset start = index.GetItem(remark).StartPos;
        sel.own_ = std::make_unique<TLogCtrl>();
        ScanLog(source.readPath, *sel.own_, progress);
        ArrangeIndex(*sel.own_, SortOrder::ContentFull);
        sel.index_ = sel.own_.get();
        p = FindStart(*sel.own_, start);
        if (p.v < 0) {
          throw LogFileError("ログファイルが読み込み後に変わっています: " + source.readPath.string());
        }
      }
      // The thread's first remark is the nearest top remark at or above.
      const TLogCtrl& in = sel.Index();
      while (p.v > 0 && in.GetLevel(p) != -1) --p;
      AppendSubtree(in, p, sel.positions_);
      sel.tree_ = true;
      break;
    }
    case ExportScope::List:
      if (!IsKnownOrder(source.order)) break;  // such an order lists nothing
      if (source.order == SortOrder::ContentFolded && source.folded) {
        for (std::int32_t l = 0; l < source.folded->Count(); ++l) {
          const TLogItem& item = source.folded->Item(ListLine(l));
          if (item.Expanded) sel.positions_.push_back(item.Index);
          else AppendSubtree(index, item.Index, sel.positions_);
        }
        sel.tree_ = true;
        break;
      }
      [[fallthrough]];
    case ExportScope::Log:
      sel.positions_.reserve(static_cast<std::size_t>(n));
      for (std::int32_t p = 0; p < n; ++p) sel.positions_.push_back(IndexPos(p));
      sel.tree_ = IsContentOrder(source.order);
      break;
  }
  return sel;
}

namespace {

// Shift-JIS as an export shows it: UTF-8, a byte that forms no character
// as "〓".
std::string Shown(std::string_view sjis) {
  SjisDecoder decoder(kGeta);
  std::string out;
  decoder.Append(sjis, out);
  decoder.Finish(out);
  return out;
}

// Raised inside the writing when the progress callback asks to stop.
struct Cancelled {};

// The bytes of the export, gathered into blocks of about a megabyte before
// they go to the sink. Every block written tells the progress callback.
class Out {
 public:
  // Room for a block and the largest piece decoded after it.
  Out(ExportSink& sink, const ExportProgress& progress) : sink_(sink), progress_(progress) {
    data.reserve(kBlock + SjisDecoder::MaxDecoded(kMaxPiece) + 4096);
  }

  std::string data;  // appended to directly

  void Check() {
    if (data.size() >= kBlock) Flush();
  }
  void Flush() {
    if (data.empty()) return;
    sink_.Write(data);
    written_ += static_cast<std::int64_t>(data.size());
    data.clear();
    Tell();
  }
  // The share of the export done; the callback hears of a change at once.
  void SetPercent(int percent) {
    if (percent == percent_) return;
    percent_ = percent;
    Tell();
  }
  std::int64_t Bytes() const { return written_ + static_cast<std::int64_t>(data.size()); }

 private:
  static constexpr std::size_t kBlock = 1 << 20;
  void Tell() {
    if (progress_ && !progress_(percent_)) throw Cancelled{};
  }

  ExportSink& sink_;
  const ExportProgress& progress_;
  std::int64_t written_ = 0;
  int percent_ = 0;
};

// The text of a remark as the pane shows it, converted to UTF-8 with the
// bytes that `map` replaces replaced; every line ends with LF. Appended to
// the export's blocks (which it flushes as they fill), or to a string of
// its own when it is decoded ahead.
class ShownText final : public RemarkTextSink {
 public:
  ShownText(Out& out, const ByteMap& map) : data_(out.data), out_(&out), map_(map), decoder_(kGeta) {}
  ShownText(std::string& data, const ByteMap& map) : data_(data), map_(map), decoder_(kGeta) {}

  void Piece(std::string_view bytes) override {
    std::string& d = data_;
    const std::size_t start = d.size();
    // Decoded straight into the output, which has room for a piece already
    // (see Out), and the few bytes to replace replaced there.
    d.resize(start + SjisDecoder::MaxDecoded(bytes.size()));
    d.resize(static_cast<std::size_t>(decoder_.Decode(bytes, d.data() + start) - d.data()));
    MapInPlace(d, start, map_);
    if (out_) out_->Check();
  }
  void LineEnd() override {
    decoder_.Finish(data_);
    data_.push_back('\n');
  }

 private:
  std::string& data_;
  Out* out_ = nullptr;
  const ByteMap& map_;
  SjisDecoder decoder_;
};

// The shown texts of the remarks to come, decoded on other threads while
// this one writes the ones before (the decoding is most of an export's
// work). The selection is cut into batches of about kBatchBytes of the log,
// which the threads take in turn; the texts are taken in the selection's
// order, one per remark. A long remark is not decoded ahead but walked
// where it is written, so the texts held stay bounded: a few batches.
class TextsAhead {
 public:
  TextsAhead(const std::filesystem::path& path, const TLogCtrl& index, const std::vector<IndexPos>& positions,
             const ByteMap& map, unsigned threads)
      : path_(path), index_(index), positions_(positions), map_(map), threads_(std::max(threads, 1u)) {
    std::int64_t bytes = 0;
    for (std::size_t i = 0; i < positions_.size(); ++i) {
      if (i > 0 && bytes >= kBatchBytes) {
        starts_.push_back(i);
        bytes = 0;
      }
      if (i == 0) starts_.push_back(0);
      const TLogData& rec = index_.GetItem(positions_[i]);
      if (!Long(rec)) bytes += std::max<std::int64_t>(rec.EndPos - rec.StartPos, 0);
    }
    starts_.push_back(positions_.size());
    for (unsigned t = 0; t < threads_; ++t) workers_.emplace_back([this, t] { Work(t); });
  }
  ~TextsAhead() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& w : workers_) w.join();
  }
  TextsAhead(const TextsAhead&) = delete;
  TextsAhead& operator=(const TextsAhead&) = delete;

  // Appends the next remark's text to `out`; false when that remark is to
  // be walked by the caller. Throws what the decoding threw.
  bool Next(std::string& out) {
    if (taken_ == batch_.ends.size()) {
      std::unique_lock lock(mutex_);
      const std::size_t k = next_;
      changed_.wait(lock, [this, k] { return ready_.count(k) > 0; });
      batch_ = std::move(ready_[k]);
      ready_.erase(k);
      ++next_;
      lock.unlock();
      changed_.notify_all();
      taken_ = 0;
      if (batch_.error) std::rethrow_exception(batch_.error);
    }
    const std::size_t i = taken_++;
    if (batch_.walk[i]) return false;
    const std::size_t from = i == 0 ? 0 : batch_.ends[i - 1];
    out.append(batch_.text, from, batch_.ends[i] - from);
    return true;
  }

 private:
  static constexpr std::int64_t kBatchBytes = 1 << 20;
  static constexpr std::int64_t kLongRemark = 1 << 20;

  struct Batch {
    std::string text;               // the texts one after another
    std::vector<std::size_t> ends;  // where each remark's text ends in `text`
    std::vector<bool> walk;         // the remark is walked by the writer
    std::exception_ptr error;
  };

  // Each thread's window of the file: a batch's remarks lie near one
  // another, or else a block read again comes from the page cache.
  static constexpr std::size_t kBlocks = 32;

  static bool Long(const TLogData& rec) { return rec.EndPos - rec.StartPos > kLongRemark; }

  // Thread `t` decodes batches t, t + threads, ...
  void Work(unsigned t) {
    std::optional<LogBytes> bytes;
    for (std::size_t k = t; k + 1 < starts_.size(); k += threads_) {
      {
        // No more than two batches a thread ahead of the writer.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this, k] { return stop_ || k < next_ + 2 * threads_; });
        if (stop_) return;
      }
      Batch b;
      try {
        if (!bytes) bytes.emplace(path_, LogBytes::kBlockSize, kBlocks);
        ShownText sink(b.text, map_);
        for (std::size_t i = starts_[k]; i < starts_[k + 1]; ++i) {
          const TLogData& rec = index_.GetItem(positions_[i]);
          const bool walk = Long(rec);
          if (!walk) WalkShownLines(*bytes, rec, sink);
          b.ends.push_back(b.text.size());
          b.walk.push_back(walk);
        }
      } catch (...) {
        b.error = std::current_exception();
      }
      const bool failed = b.error != nullptr;
      {
        std::lock_guard lock(mutex_);
        ready_.emplace(k, std::move(b));
      }
      changed_.notify_all();
      if (failed) return;
    }
  }

  const std::filesystem::path path_;
  const TLogCtrl& index_;
  const std::vector<IndexPos>& positions_;
  const ByteMap& map_;
  const unsigned threads_;
  std::vector<std::size_t> starts_;  // where each batch starts in the positions, and their end
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::size_t, Batch> ready_;  // decoded batches by number
  std::size_t next_ = 0;               // the batch the writer takes next
  bool stop_ = false;
  Batch batch_;            // the batch being taken (this thread's)
  std::size_t taken_ = 0;  // its texts taken
  std::vector<std::thread> workers_;
};

// A remark's shown text for the writers: decoded ahead when there is a
// second thread for it, else (and for a long remark) walked in place.
class ShownTexts {
 public:
  ShownTexts(Out& out, const ByteMap& map) : out_(out), inPlace_(out, map), map_(map) {}
  void DecodeAhead(const ExportSource& source, const ExportSelection& sel) {
    // As many threads as there are processors: this one spends its time
    // mostly waiting for them and writing.
    ahead_.emplace(source.readPath, sel.Index(), sel.Positions(), map_,
                   std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  }
  void Append(LogBytes& bytes, const TLogData& rec) {
    if (ahead_ && ahead_->Next(out_.data)) {
      out_.Check();
      return;
    }
    WalkShownLines(bytes, rec, inPlace_);
  }

 private:
  Out& out_;
  ShownText inPlace_;
  const ByteMap& map_;
  std::optional<TextsAhead> ahead_;
};

// A remark's bytes as the log holds them.
class RawText final : public RemarkTextSink {
 public:
  explicit RawText(Out& out) : out_(out) {}
  void Piece(std::string_view bytes) override {
    out_.data.append(bytes);
    for (char c : bytes.substr(bytes.size() - std::min<std::size_t>(bytes.size(), 2))) {
      tail_[0] = tail_[1];
      tail_[1] = c;
    }
    out_.Check();
  }
  void LineEnd() override {}
  // Begins a remark; at its end, whether its bytes ended with a line end.
  void Begin() { tail_[0] = tail_[1] = '\0'; }
  bool EndedWithCrLf() const { return tail_[0] == '\r' && tail_[1] == '\n'; }

 private:
  Out& out_;
  char tail_[2] = {};  // the last two bytes handed on
};

class Writer {
 public:
  virtual ~Writer() = default;
  virtual void Begin() {}
  virtual void Remark(LogBytes& bytes, const TLogData& rec) = 0;
  virtual void End() {}
};

// UTF-8 with LF: the header line as printed, the lines as the pane shows
// them, a blank line between remarks.
class TextWriter final : public Writer {
 public:
  explicit TextWriter(Out& out) : out_(out), text_(out, TextByteMap()) {}
  ShownTexts& Texts() { return text_; }
  void Remark(LogBytes& bytes, const TLogData& rec) override {
    if (!first_) out_.data.push_back('\n');
    first_ = false;
    AppendMapped(Shown(HeaderLine(HeaderOf(rec))), TextByteMap(), out_.data);
    out_.data.push_back('\n');
    text_.Append(bytes, rec);
  }

 private:
  Out& out_;
  ShownTexts text_;
  bool first_ = true;
};

// Shift-JIS with CR LF: the header line as printed, the remark's bytes as
// the log holds them, a blank line between remarks.
class SjisWriter final : public Writer {
 public:
  explicit SjisWriter(Out& out) : out_(out), raw_(out) {}
  void Remark(LogBytes& bytes, const TLogData& rec) override {
    if (!first_) out_.data.append("\r\n");
    first_ = false;
    out_.data.append(HeaderLine(HeaderOf(rec))).append("\r\n");
    raw_.Begin();
    WalkSpanBytes(bytes, rec, raw_);
    if (!raw_.EndedWithCrLf()) out_.data.append("\r\n");  // the last line of a file without a line end
  }

 private:
  Out& out_;
  RawText raw_;
  bool first_ = true;
};

std::string Decimal(std::int64_t v) {
  char digits[24];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
}

// What the page says it holds, in UTF-8.
std::string Description(const ExportSelection& sel, SortOrder order) {
  const std::string count = Decimal(sel.Count()) + " 件";
  const std::string orderName = order == SortOrder::Remark ? "発言順" : IsContentOrder(order) ? "内容順" : "";
  const auto number = [&sel] { return Decimal(sel.Index().GetNumber(sel.Positions().front()).v); };
  switch (sel.Scope()) {
    case ExportScope::Remark: return "発言 " + number();
    case ExportScope::Thread: return "発言 " + number() + " のスレッド（" + count + "）";
    case ExportScope::List:
      return "タイトル一覧の発言 " + count + (orderName.empty() ? "" : "（" + orderName + "）");
    case ExportScope::Log: return "全発言 " + count + (orderName.empty() ? "" : "（" + orderName + "）");
  }
  return count;
}

// One page: the remarks as <article>s in a list, nested as the threads are
// in a tree selection, one after another otherwise.
class HtmlWriter final : public Writer {
 public:
  HtmlWriter(Out& out, const ExportSource& source, const ExportSelection& sel)
      : out_(out), source_(source), sel_(sel), text_(out, HtmlByteMap()) {}
  ShownTexts& Texts() { return text_; }

  void Begin() override {
    if (!sel_.Tree()) IndexParents();
    const std::string title = HtmlEscaped(Shown(source_.title));
    std::string& d = out_.data;
    d.append("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n");
    d.append("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    d.append("<meta name=\"generator\" content=\"Kest32\">\n");
    d.append("<title>").append(title).append("</title>\n<style>\n").append(PageStyle()).append("</style>\n");
    d.append("</head>\n<body>\n<header>\n<h1>").append(title).append("</h1>\n<p class=\"about\">");
    AppendHtmlEscaped(Description(sel_, source_.order), d);
    d.append("</p>\n</header>\n<main>\n<ul class=\"remarks\">\n");
  }

  void Remark(LogBytes& bytes, const TLogData& rec) override {
    std::string& d = out_.data;
    // Where the remark goes in the nesting: one level below the remark
    // before it at most, and no deeper than kMaxDepth (a chain thousands
    // deep reads as a long list at that depth, each reply linked to its
    // parent).
    const std::int32_t want = sel_.Tree() ? std::max(rec.Level + 1, 0) : 0;
    const auto depth = static_cast<std::size_t>(std::min({want, Open(), kMaxDepth}));
    while (open_.size() > depth) {
      if (open_.back()) d.append("</ul>\n");
      d.append("</li>\n");
      open_.pop_back();
    }
    if (depth > 0 && !open_.back()) {
      d.append("<ul>\n");
      open_.back() = true;
    }
    open_.push_back(false);

    const Anchor self{rec.Number, ++occurrences_[rec.Number.v]};
    const std::optional<Anchor> parent = Parent(rec);
    if (sel_.Tree()) {
      // This remark is the one its replies at the next level find.
      const auto slot = static_cast<std::size_t>(std::max(rec.Level + 1, 0));
      ancestors_.resize(slot + 1);
      ancestors_[slot] = self;
    }

    d.append("<li><article id=\"");
    AppendAnchor(self.number, self.occurrence, d);
    d.append("\">\n<header>\n<p class=\"meta\"><a class=\"number\" href=\"#");
    AppendAnchor(self.number, self.occurrence, d);
    d.append("\">").append(Decimal(rec.Number.v)).append("</a> <span class=\"date\">");
    Field(rec.Date());
    d.append("</span> <span class=\"id\">ID: ");
    Field(rec.ID());
    d.append("</span> <span class=\"poster\">発言者: ");
    Field(rec.Speaker());
    d.append("</span></p>\n<h2>");
    Field(rec.Title());
    d.append("</h2>\n");
    if (rec.CommentTo.v != 0) {
      d.append("<p class=\"to\">→ ");
      if (parent) {
        d.append("<a href=\"#");
        AppendAnchor(parent->number, parent->occurrence, d);
        d.append("\">").append(Decimal(rec.CommentTo.v)).append("</a>");
      } else {
        d.append(Decimal(rec.CommentTo.v));
      }
      d.append(" へのコメント</p>\n");
    }
    // The parser drops one line end right after <pre>: this one, so that a
    // text beginning with an empty line keeps it.
    d.append("</header>\n<pre>\n");
    text_.Append(bytes, rec);
    d.append("</pre>\n</article>\n");
  }

  void End() override {
    std::string& d = out_.data;
    while (!open_.empty()) {
      if (open_.back()) d.append("</ul>\n");
      d.append("</li>\n");
      open_.pop_back();
    }
    d.append("</ul>\n</main>\n</body>\n</html>\n");
  }

 private:
  // Nesting deeper than this reads badly on any screen.
  static constexpr std::int32_t kMaxDepth = 32;

  struct Anchor {
    RemarkNo number;
    std::int32_t occurrence;
  };

  std::int32_t Open() const { return static_cast<std::int32_t>(open_.size()); }

  // A header field: Shift-JIS, the blanks around it dropped.
  void Field(std::string_view sjis) { AppendHtmlEscaped(Shown(TrimSjisBlanks(sjis)), out_.data); }

  // The anchor of the remark `rec` comments on, when that is in the page.
  std::optional<Anchor> Parent(const TLogData& rec) const {
    if (rec.CommentTo.v == 0) return std::nullopt;
    if (sel_.Tree()) {
      // In content order the parent is the last remark one level up.
      const auto slot = static_cast<std::size_t>(rec.Level);
      if (rec.Level >= 0 && slot < ancestors_.size() && ancestors_[slot].number == rec.CommentTo) {
        return ancestors_[slot];
      }
      return std::nullopt;
    }
    // Otherwise the last remark of that number before this one in the file.
    auto first = std::lower_bound(byNumber_.begin(), byNumber_.end(), Entry{rec.CommentTo.v, 0, 0});
    auto last = std::lower_bound(first, byNumber_.end(), Entry{rec.CommentTo.v, 0, rec.StartPos.v});
    if (last == first || (last - 1)->number != rec.CommentTo.v) return std::nullopt;
    return Anchor{rec.CommentTo, (last - 1)->occurrence};
  }

  // For a page without nesting: every remark's number, place in the file and
  // anchor, to find the remark a reply comments on.
  struct Entry {
    std::int32_t number;
    std::int32_t occurrence;
    std::int64_t start;
    bool operator<(const Entry& o) const { return number != o.number ? number < o.number : start < o.start; }
  };
  void IndexParents() {
    std::unordered_map<std::int32_t, std::int32_t> seen;
    byNumber_.reserve(sel_.Positions().size());
    for (IndexPos p : sel_.Positions()) {
      const TLogData& r = sel_.Index().GetItem(p);
      byNumber_.push_back(Entry{r.Number.v, ++seen[r.Number.v], r.StartPos.v});
    }
    std::sort(byNumber_.begin(), byNumber_.end());
  }

  Out& out_;
  const ExportSource& source_;
  const ExportSelection& sel_;
  ShownTexts text_;
  std::vector<bool> open_;         // the <li>s open, and whether each has opened its <ul> of replies
  std::vector<Anchor> ancestors_;  // by Level + 1: the last remark at that level
  std::unordered_map<std::int32_t, std::int32_t> occurrences_;  // remarks of each number so far
  std::vector<Entry> byNumber_;
};

}  // namespace

ExportResult WriteExport(const ExportSource& source, const ExportSelection& selection,
                         const ExportOptions& options, ExportSink& sink, const ExportProgress& progress) {
  ExportResult result;
  LogBytes bytes(source.readPath);
  const TLogCtrl& index = selection.Index();
  // The share done counts the bytes of the remarks read.
  auto spanOf = [&](const TLogData& r) {
    return std::max<std::int64_t>(std::min(r.EndPos.v, bytes.Size()) - r.StartPos.v, 0);
  };
  std::int64_t total = 0;
  for (IndexPos p : selection.Positions()) total += spanOf(index.GetItem(p));

  Out out(sink, progress);
  std::unique_ptr<Writer> writer;
  ShownTexts* texts = nullptr;  // the writer's decoded texts, when it has them
  if (options.format == ExportFormat::Html) {
    auto html = std::make_unique<HtmlWriter>(out, source, selection);
    texts = &html->Texts();
    writer = std::move(html);
  } else if (options.shiftJis) {
    writer = std::make_unique<SjisWriter>(out);
  } else {
    auto text = std::make_unique<TextWriter>(out);
    texts = &text->Texts();
    writer = std::move(text);
  }
  // More than one remark: their texts are decoded on a second thread.
  if (texts && selection.Positions().size() > 1 && std::thread::hardware_concurrency() > 1) {
    texts->DecodeAhead(source, selection);
  }
  try {
    if (progress && !progress(0)) throw Cancelled{};
    writer->Begin();
    std::int64_t done = 0;
    for (IndexPos p : selection.Positions()) {
      const TLogData& rec = index.GetItem(p);
      // The bytes of this remark that were there at the scan must still be.
      if (bytes.Size() < std::min(rec.EndPos.v, index.ScannedSize)) {
        throw LogFileError(TruncatedMessage(source.readPath));
      }
      writer->Remark(bytes, rec);
      ++result.remarks;
      done += spanOf(rec);
      out.SetPercent(total > 0 ? static_cast<int>(done * 100 / total) : 100);
      out.Check();
    }
    writer->End();
    out.Flush();
    out.SetPercent(100);
  } catch (const Cancelled&) {
    result.cancelled = true;
  }
  result.bytes = out.Bytes();
  return result;
}

ExportResult ExportToFile(const ExportSource& source, const ExportSelection& selection,
                          const ExportOptions& options, const std::filesystem::path& target,
                          const ExportProgress& progress) {
  // Never over the log that is read, nor its copy: that would lose it.
  struct stat t {};
  if (::stat(target.c_str(), &t) == 0) {
    for (const std::filesystem::path& log : {source.logPath, source.readPath}) {
      struct stat l {};
      if (!log.empty() && ::stat(log.c_str(), &l) == 0 && l.st_dev == t.st_dev && l.st_ino == t.st_ino) {
        throw ExportError("ログファイル自身には書き出せません: " + target.string());
      }
    }
  }
  ExportFile file(target);
  ExportResult result = WriteExport(source, selection, options, file, progress);
  if (!result.cancelled) file.Commit();
  return result;
}

std::filesystem::path SuggestedExportName(const ExportSource& source, const ExportSelection& selection,
                                          const ExportOptions& options) {
  const RemarkNo first =
      selection.Positions().empty() ? RemarkNo(0) : selection.Index().GetNumber(selection.Positions().front());
  return SuggestedExportName(source, selection.Scope(), first, options);
}

std::filesystem::path SuggestedExportName(const ExportSource& source, ExportScope scope, RemarkNo first,
                                          const ExportOptions& options) {
  std::string name = source.logPath.stem().string();
  if (name.empty()) name = "kest32";
  std::string anchor;
  AppendAnchor(first, 0, anchor);
  const std::string number = anchor.substr(1);  // the anchor without its "r"
  switch (scope) {
    case ExportScope::Remark: name += "-" + number; break;
    case ExportScope::Thread: name += "-thread-" + number; break;
    case ExportScope::List: name += "-list"; break;
    case ExportScope::Log: break;
  }
  return name + (options.format == ExportFormat::Html ? ".html" : ".txt");
}

}  // namespace kest
