#include "session/LogSession.h"

#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "log/LineReader.h"
#include "log/LogFile.h"
#include "platform/Codec.h"

namespace kest {

// Passes the folds' line changes on to the observers, and keeps the shown
// remark's line on its remark as lines are inserted and removed above it.
class LogSession::FoldRelay : public FoldObserver {
 public:
  explicit FoldRelay(LogSession& s) : s_(s) {}

  void BeginInsert(ListLine first, ListLine last) override {
    first_ = first;
    last_ = last;
    s_.Each([&](SessionObserver& o) { o.BeginInsert(first, last); });
  }
  void EndInsert() override {
    ListLine& shown = s_.shown_.line;
    if (shown.v >= first_.v) shown = shown + (last_.v - first_.v + 1);
    s_.Each([](SessionObserver& o) { o.EndInsert(); });
  }
  void BeginRemove(ListLine first, ListLine last) override {
    first_ = first;
    last_ = last;
    s_.Each([&](SessionObserver& o) { o.BeginRemove(first, last); });
  }
  void EndRemove() override {
    ListLine& shown = s_.shown_.line;
    if (shown.v > last_.v) {
      shown = shown - (last_.v - first_.v + 1);
    } else if (shown.v >= first_.v) {
      shown = ListLine(-1);  // the shown remark's line itself has gone
    }
    s_.Each([](SessionObserver& o) { o.EndRemove(); });
  }
  void LineChanged(ListLine line) override {
    s_.Each([&](SessionObserver& o) { o.LineChanged(line); });
  }

 private:
  LogSession& s_;
  ListLine first_, last_;
};

LogSession::LogSession() : relay_(std::make_unique<FoldRelay>(*this)) {}
LogSession::~LogSession() = default;

template <class F>
void LogSession::Each(F f) {
  for (SessionObserver* o : observers_) f(*o);
}

void LogSession::AddObserver(SessionObserver* observer) { observers_.push_back(observer); }

void LogSession::RemoveObserver(SessionObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void LogSession::Tell(Notice::Kind kind, std::string text) { Tell(Notice{kind, std::move(text), {}, {}}); }

void LogSession::Tell(Notice notice) {
  // One operation that reads several remarks of a changed file says so once.
  if (notice.kind == Notice::Kind::Changed) {
    for (const Notice& n : notices_) {
      if (n.kind == Notice::Kind::Changed) return;
    }
  }
  notices_.push_back(std::move(notice));
}

Notice NoticeOf(const LogFileError& e) {
  using R = LogFileError::Reason;
  const R r = e.reason();
  const Notice::Kind kind = r == R::Changed ? Notice::Kind::Changed
                            : r == R::Missing || r == R::Folder || r == R::NotRegular || r == R::LinkLoop
                                ? Notice::Kind::Info
                                : Notice::Kind::Error;
  return Notice{kind, e.path().empty() ? std::string(e.what()) : e.text(), e.path().string(), e.advice()};
}

std::vector<Notice> LogSession::TakeNotices() { return std::exchange(notices_, {}); }

// ---------------------------------------------------------------------------
// Settings

void LogSession::ApplySettings(const WindowSettings& settings) {
  sort_ = settings.View.SortType;
  cols_ = settings.View.Columns;
  openFolder_ = settings.OpenFolder;
  recent_ = settings.Recent;
}

void LogSession::StoreSettings(WindowSettings& settings) const {
  settings.View.SortType = sort_;
  settings.View.Columns = cols_;
  settings.OpenFolder = openFolder_;
  settings.Recent = recent_;
}

// ---------------------------------------------------------------------------
// Opening

std::optional<Notice> LogSession::CheckLogFile(const std::string& fileName) const {
  // Only a regular file is a log; what cannot be opened is refused before
  // the shown log is let go.
  try {
    ::close(OpenLogFile(fileName));
  } catch (const LogFileError& e) {
    return NoticeOf(e);
  }
  return std::nullopt;
}

OpenPlan LogSession::PlanOpen(const std::string& name) const {
  OpenPlan plan;
  plan.where = LogLocation::Parse(name);
  plan.refusal = CheckLogFile(plan.where.file);
  if (plan.refusal || plan.where.InArchive() || ArchiveKindOf(plan.where.file) == ArchiveKind::None) return plan;
  // An archive named by its path.
  ArchiveListing listing;
  try {
    listing = ListArchive(plan.where.file);
  } catch (const LogFileError& e) {
    plan.refusal = NoticeOf(e);
    return plan;
  }
  const MemberChoice choice = ChooseMember(listing);
  if (choice.result == MemberChoice::kChosen && listing.damage.empty()) {
    plan.where = LogLocation::Member(plan.where.file, choice.member->name);
  } else if (choice.result == MemberChoice::kEmpty) {
    plan.refusal = listing.damage.empty()
                       ? Notice{Notice::Kind::Info,
                                "書庫 " + std::filesystem::path(plan.where.file).filename().string() +
                                    " にはメンバーが一つもありません",
                                plan.where.file, "ログの入った書庫か、ログファイルを開いてください。"}
                       : Notice{Notice::Kind::Info, listing.damage, plan.where.file, {}};
  } else {
    plan.choose = std::move(listing);  // several logs, or a damaged archive: the user chooses
  }
  return plan;
}

void LogSession::Load(const std::string& fileName, NativeLog native, const ScanProgress& progress) {
  native_ = std::move(native);
  logFileName_ = fileName;
  openFolder_ = LogLocation::Parse(fileName).Folder();
  Release();
  logLoaded_ = true;
  search_.SpeakerListStale = true;
  log_ = std::make_unique<TLogCtrl>();
  stale_ = false;
  try {
    // Taken before the scan: a change while the scan reads is a change too.
    identity_ = IdentifyFile(LogReadPath());
    originalIdentity_.reset();
    if (native_.Converted()) originalIdentity_ = IdentifyFile(native_.Original());
    title_ = ScanLog(LogReadPath(), *log_, progress);
    BuildList();
    // An empty log (no remark at all) loads with an empty list and an empty
    // pane; there is no remark 0 to show.
    ClearPane();
    bool read = false;
    if (log_->Count() > 0) {
      read = ShowRemark(IndexPos(0));
    } else {
      shown_.header.reset();
    }
    const bool hasLines = LineCount() > 0;
    shown_.line = ListLine(read && hasLines ? 0 : -1);
    Select(ListLine(hasLines ? 0 : -1));
  } catch (...) {
    // The file failed half-way through the scan: show no log rather than
    // half of one.
    Release();
    log_ = std::make_unique<TLogCtrl>();
    title_.reset();
    identity_.reset();
    ResetShown();
    throw;
  }
}

std::string LogSession::Caption() const {
  if (!title_) return "Kest32";
  if (log_ && log_->Count() == 0) {
    return "Kest32-" + std::filesystem::path(logFileName_).filename().string();
  }
  return "Kest32-" + SjisToUtf8(*title_);
}

// ---------------------------------------------------------------------------
// The file behind the index

bool LogSession::CheckFile() {
  if (!log_ || !identity_) return true;
  FileChange change = CompareFile(*identity_, LogReadPath());
  const std::filesystem::path shown = native_.Converted() ? native_.Original() : LogReadPath();
  if (change == FileChange::None && originalIdentity_) change = CompareFile(*originalIdentity_, shown);
  if (change == FileChange::None) return true;
  stale_ = true;
  Notice n = NoticeOf(ChangedFileError(change, logFileName_.empty() ? shown : std::filesystem::path(ShownName())));
  if (change == FileChange::Gone) n.kind = Notice::Kind::Error;  // the log that was read has gone
  Tell(std::move(n));
  return false;
}

std::optional<RemarkNo> LogSession::ReloadNumber() const {
  if (shown_.header) return shown_.header->Number;
  if (ValidLine(selected_)) return log_->GetNumber(PositionOf(selected_));
  return std::nullopt;
}

bool LogSession::ShownReadyForOutput(const std::string& action) {
  // With no remark shown only the empty header goes out, as it always has:
  // no text of a file is involved.
  if (!shown_.header) return true;
  if (!CheckFile()) return false;
  if (!shown_.whole) {
    Tell(Notice{Notice::Kind::Info,
                "この発言は本文を最後まで読めていないため、" + action +
                    "できません（ファイルが読み込んだ後に短くなったか、読めなくなっています）",
                ShownName(), "ファイルを読み直してから、もう一度" + action + "してください。"});
    return false;
  }
  return true;
}

void LogSession::Release() {
  Each([](SessionObserver& o) { o.BeginReset(); });
  built_.reset();
  folded_.Clear();
  log_.reset();
  selected_ = ListLine(-1);
  shown_.line = ListLine(-1);
  Each([](SessionObserver& o) { o.EndReset(); });
}

std::string LogSession::ShownName() const { return LogLocation::Parse(logFileName_).Display(); }

std::filesystem::path LogSession::LogReadPath() const {
  return native_.Converted() ? native_.ReadPath() : std::filesystem::path(logFileName_);
}

// ---------------------------------------------------------------------------
// The title list

void LogSession::BuildList() {
  struct Reset {
    LogSession& s;
    ~Reset() {
      s.Each([](SessionObserver& o) { o.EndReset(); });
    }
  };
  Each([](SessionObserver& o) { o.BeginReset(); });
  Reset reset{*this};
  built_.reset();
  folded_.Clear();
  selected_ = ListLine(-1);
  shown_.line = ListLine(-1);
  if (log_ && IsKnownOrder(sort_)) {
    ArrangeIndex(*log_, sort_);
    if (sort_ == SortOrder::ContentFolded) folded_.Build(*log_);
    built_ = sort_;
  }
}

std::int32_t LogSession::LineCount() const {
  if (!log_ || !built_) return 0;
  return *built_ == SortOrder::ContentFolded ? folded_.Count() : log_->Count();
}

std::string LogSession::LineText(ListLine line) const {
  if (built_ == SortOrder::ContentFolded) return folded_.LineText(*log_, line, cols_);
  return ListLineText(*log_, IndexPos(line.v), *built_, cols_);
}

IndexPos LogSession::PositionOf(ListLine line) const {
  if (built_ == SortOrder::ContentFolded) return folded_.Item(line).Index;
  return IndexPos(line.v);  // line c shows the record at position c
}

const TLogItem* LogSession::ItemOf(ListLine line) const {
  if (built_ != SortOrder::ContentFolded || !ValidLine(line)) return nullptr;
  return &folded_.Item(line);
}

ListLine LogSession::FindLine(RemarkNo number, ListLine from) const {
  if (built_ == SortOrder::ContentFolded) return folded_.FindLine(number, from);
  const std::int32_t n = LineCount();
  for (std::int32_t l = std::max(from.v, 0); l < n; ++l) {
    if (log_->GetNumber(IndexPos(l)) == number) return ListLine(l);
  }
  return ListLine(-1);
}

void LogSession::Select(ListLine line) {
  selected_ = ValidLine(line) ? line : ListLine(-1);
  Each([&](SessionObserver& o) { o.LineSelected(selected_); });
}

// ---------------------------------------------------------------------------
// Showing a remark

void LogSession::ClearPane() {
  shown_.lines.clear();
  shown_.whole = false;
  ++shown_.generation;
}

void LogSession::ResetShown() {
  ClearPane();
  shown_.header.reset();
  shown_.position = IndexPos(-1);
  shown_.start = ByteOffset(-1);
  shown_.line = ListLine(-1);
}

bool LogSession::ShowRemark(IndexPos i) {
  const TLogData& rec = log_->GetItem(i);
  shown_.header = HeaderOf(rec);
  shown_.position = i;
  shown_.start = rec.StartPos;
  shown_.whole = false;
  // The file is read anew for every remark, once it is known to be the file
  // the index was made from: a file changed behind the index would give
  // another remark's bytes. When it has changed, gone, cannot be read or has
  // become shorter, a notice says so; the pane shows what could be read
  // (nothing, for a file that has changed or gone).
  if (!CheckFile()) return false;
  try {
    const std::filesystem::path path = LogReadPath();
    RemarkText text = LoadRemarkText(path, *log_, i);
    shown_.lines = std::move(text.lines);
    ++shown_.generation;
    if (text.truncated) {
      Tell(Notice{Notice::Kind::Error, "ログファイルが読み込み後に短くなっています。発言の一部を読めません",
                  ShownName(), "ファイルを読み直してください。"});
      return false;
    }
    shown_.whole = true;
    return true;
  } catch (const LogFileError& e) {
    Tell(NoticeOf(e));
    return false;
  }
}

void LogSession::DisplayLine(ListLine line) {
  ClearPane();
  shown_.line = ListLine(-1);
  // A remark whose text could not be read is not counted as shown, so a
  // click on its line, the same one included, reads it again.
  if (ValidLine(line) && ShowRemark(PositionOf(line))) shown_.line = line;
}

bool LogSession::ClickLine(ListLine line) {
  selected_ = ValidLine(line) ? line : ListLine(-1);
  if (selected_ == shown_.line || selected_.v < 0) return false;
  DisplayLine(selected_);
  return true;
}

void LogSession::ShowSelected() { DisplayLine(selected_); }

// ---------------------------------------------------------------------------
// Navigation and orders

bool LogSession::Prev() {
  if (selected_.v <= 0) return false;
  Select(selected_ - 1);
  ClickLine(selected_);
  return true;
}

bool LogSession::Next() {
  if (selected_.v < 0 || selected_.v >= LineCount() - 1) return false;
  Select(selected_ + 1);
  ClickLine(selected_);
  return true;
}

bool LogSession::Comment() {
  const TLogItem* item = CurrentItem();
  if (item && !item->Expanded) ToggleFold();
  return Next();
}

void LogSession::First() {
  Select(ListLine(0));
  ClickLine(selected_);
}

void LogSession::Last() {
  Select(ListLine(LineCount() - 1));
  ClickLine(selected_);
}

bool LogSession::ToggleFold() {
  const ListLine line = selected_;
  if (built_ != SortOrder::ContentFolded || line.v < 0) return false;
  if (!folded_.ToggleFold(*log_, line, relay_.get())) return false;  // the last remark
  Select(line);
  return true;
}

bool LogSession::SetOrder(SortOrder order) {
  if (sort_ == order) return false;
  std::optional<RemarkNo> shown;
  if (shown_.header) shown = shown_.header->Number;
  sort_ = order;
  BuildList();
  ClearPane();
  if (shown) SelectRemarkByNumber(*shown);
  return true;
}

void LogSession::ToggleColumn(Command which) {
  bool* flag = which == Command::ShowNumber    ? &cols_.ShowNumber
               : which == Command::ShowSpeaker ? &cols_.ShowSpeaker
               : which == Command::ShowDate    ? &cols_.ShowDate
                                               : nullptr;
  if (!flag) return;
  *flag = !*flag;
  Each([](SessionObserver& o) { o.ColumnsChanged(); });
  // The lines keep their places; the pane shows the selected line's remark
  // afterwards, read anew.
  const ListLine s = selected_;
  DisplayLine(s);
  Select(s);
}

void LogSession::SelectRemarkByNumber(RemarkNo number) {
  if (sort_ == SortOrder::Remark || sort_ == SortOrder::ContentFull) {
    const ListLine line = FindLine(number);
    if (line.v < 0) return;
    Select(line);
    ShowSelected();
  } else if (sort_ == SortOrder::ContentFolded && log_) {
    const ChainList chain = log_->CommentChain(number);
    for (std::size_t k = chain.size(); k-- > 0;) {
      const ListLine line = FindLine(chain[k]);
      if (line.v < 0) continue;  // passed over
      Select(line);
      if (k == 0) {
        ShowSelected();
        search_.SpeakerDirection = 0;
        return;
      }
      const TLogItem* item = ItemOf(line);
      if (item && !item->Expanded) ToggleFold();
    }
  }
}

bool LogSession::SelectRemarkAt(ByteOffset start) {
  if (!log_) return false;
  IndexPos p(-1);
  for (std::int32_t i = 0; i < log_->Count() && p.v < 0; ++i) {
    if (log_->GetItem(IndexPos(i)).StartPos == start) p = IndexPos(i);
  }
  if (p.v < 0) return false;
  // The line that shows a position, looked for from the top.
  auto lineOf = [this](IndexPos pos) {
    for (std::int32_t l = 0; l < LineCount(); ++l) {
      if (PositionOf(ListLine(l)) == pos) return ListLine(l);
    }
    return ListLine(-1);
  };
  if (sort_ == SortOrder::ContentFolded) {
    // Its ancestors, found as the comment chain is (by position, as a log
    // may number two remarks alike), unfolded from the outermost in.
    std::vector<IndexPos> above;
    if (log_->GetLevel(p) != -1) {
      RemarkNo parent = log_->GetCommentTo(p);
      for (std::int32_t k = p.v; k >= 0; --k) {
        const TLogData& r = log_->GetItem(IndexPos(k));
        if (r.Number != parent) continue;
        above.push_back(IndexPos(k));
        if (r.Level == -1) break;
        parent = r.CommentTo;
      }
    }
    for (auto it = above.rbegin(); it != above.rend(); ++it) {
      const ListLine line = lineOf(*it);
      if (line.v < 0) continue;
      Select(line);
      const TLogItem* item = ItemOf(line);
      if (item && !item->Expanded) ToggleFold();
    }
  }
  const ListLine line = lineOf(p);
  if (line.v < 0) return false;
  Select(line);
  ShowSelected();
  return true;
}

// ---------------------------------------------------------------------------
// Searches

bool LogSession::WalkChain(const ChainList& chain, bool backward, bool showAncestors) {
  // Forward the lines are looked for from the selected line downward;
  // backward upward until the first entry is found, then downward from there.
  bool firstFound = false;
  for (std::size_t k = chain.size(); k-- > 0;) {
    const ListLine from = selected_;
    ListLine line(-1);
    if (backward && !firstFound) {
      for (std::int32_t c = from.v; c >= 0; --c) {
        const TLogItem* item = ItemOf(ListLine(c));
        if (item && item->Number == chain[k]) {
          line = ListLine(c);
          break;
        }
      }
    } else {
      line = FindLine(chain[k], ListLine(std::max(from.v, 0)));
    }
    if (line.v < 0) continue;
    firstFound = true;
    Select(line);
    if (k == 0) return true;
    if (showAncestors) ShowSelected();
    const TLogItem* item = ItemOf(line);
    if (item && !item->Expanded) ToggleFold();
  }
  return false;
}

SearchOutcome LogSession::FindText(int step, const std::function<void(int)>& progress) {
  const ListLine line = selected_;
  if (!log_ || line.v < 0) return SearchOutcome::NotFound;
  if (!CheckFile()) return SearchOutcome::Failed;
  try {
    const std::filesystem::path path = LogReadPath();
    if (sort_ == SortOrder::Remark || sort_ == SortOrder::ContentFull) {
      const IndexPos p = log_->FindTextFrom(IndexPos(line.v + step), step, search_.SearchKey, path,
                                            search_.IgnoreCase, progress);
      if (p.v >= 0) {
        Select(ListLine(p.v));
        return SearchOutcome::Found;
      }
    } else if (sort_ == SortOrder::ContentFolded && CurrentItem()) {
      const IndexPos start = CurrentItem()->Index;
      const ChainList chain =
          step > 0 ? log_->FindTextForward(start, search_.SearchKey, path, search_.IgnoreCase, progress)
                   : log_->FindTextBackward(start, search_.SearchKey, path, search_.IgnoreCase, progress);
      if (WalkChain(chain, step < 0, false)) return SearchOutcome::Found;
    }
  } catch (const LogFileError& e) {
    Tell(NoticeOf(e));
    return SearchOutcome::Failed;
  }
  return SearchOutcome::NotFound;
}

SearchOutcome LogSession::FindSpeaker(int step) {
  const std::uint8_t direction = step > 0 ? 0 : 1;
  SearchOutcome outcome = SearchOutcome::NotFound;
  const ListLine line = selected_;
  if (log_ && line.v >= 0 && (sort_ == SortOrder::Remark || sort_ == SortOrder::ContentFull)) {
    const std::int32_t lines = LineCount();
    for (std::int32_t c = line.v + step; c >= 0 && c < lines; c += step) {
      if (log_->GetID(IndexPos(c)) == search_.SearchKey) {
        Select(ListLine(c));
        ShowSelected();
        return SearchOutcome::Found;  // the direction stays as it was
      }
    }
  } else if (log_ && line.v >= 0 && sort_ == SortOrder::ContentFolded && CurrentItem()) {
    const IndexPos start = CurrentItem()->Index;
    const ChainList chain = step > 0 ? log_->FindIDForward(start, search_.SearchKey)
                                     : log_->FindIDBackward(start, search_.SearchKey);
    if (WalkChain(chain, step < 0, step < 0)) {
      ShowSelected();
      outcome = SearchOutcome::Found;
    } else if (!chain.empty()) {
      outcome = SearchOutcome::Silent;  // the match's line was never reached
    }
  }
  search_.SpeakerDirection = direction;
  return outcome;
}

// ---------------------------------------------------------------------------
// Commands

CommandStates LogSession::Commands() const {
  CommandStates s;
  for (Command c : {Command::SortRemark, Command::SortContentFull, Command::SortContentFolded, Command::Find,
                    Command::FindSpeaker, Command::AddBookmark, Command::ShowNumber, Command::ShowSpeaker,
                    Command::ShowDate, Command::Export}) {
    s[c].enabled = logLoaded_;
  }
  s[Command::ExportThread].enabled = logLoaded_ && shown_.header.has_value();
  s.logMenusShown = logLoaded_;
  // The order and the columns are marked once a log is open; an order the
  // settings file made up checks none.
  s[Command::SortRemark].checked = logLoaded_ && sort_ == SortOrder::Remark;
  s[Command::SortContentFull].checked = logLoaded_ && sort_ == SortOrder::ContentFull;
  s[Command::SortContentFolded].checked = logLoaded_ && sort_ == SortOrder::ContentFolded;
  s[Command::ShowNumber].checked = logLoaded_ && cols_.ShowNumber;
  s[Command::ShowSpeaker].checked = logLoaded_ && cols_.ShowSpeaker;
  s[Command::ShowDate].checked = logLoaded_ && cols_.ShowDate;
  s[Command::FindPrev].enabled = search_.Searched;
  s[Command::FindNext].enabled = search_.Searched;
  s[Command::OrganizeBookmarks].enabled = hasBookmarks_;
  for (Command c : {Command::LibraryAddFolder, Command::LibraryFolders, Command::LibraryUpdate}) {
    s[c].enabled = !libraryUpdating_;
  }
  s[Command::LibraryCancel].enabled = libraryUpdating_;

  // With no line selected neither way leads anywhere.
  s[Command::Prev].enabled = selected_.v > 0;
  s[Command::Next].enabled = selected_.v >= 0 && selected_.v < LineCount() - 1;
  bool comment = false;
  if (const TLogItem* item = CurrentItem(); item && sort_ == SortOrder::ContentFolded) {
    const IndexPos p = item->Index;
    comment = p.v < log_->Count() - 1 && log_->GetLevel(p + 1) == log_->GetLevel(p) + 1;
  }
  s[Command::Comment].enabled = comment;
  return s;
}

PaneState LogSession::KeyState() const {
  const CommandStates commands = Commands();
  const TLogItem* item = CurrentItem();
  PaneState state;
  state.sortType = sort_;
  state.logOpen = logLoaded_ && log_;
  state.hasSelection = selected_.v >= 0;
  state.expanded = item && item->Expanded;
  state.nextEnabled = commands.Enabled(Command::Next);
  state.prevEnabled = commands.Enabled(Command::Prev);
  return state;
}

}  // namespace kest
