// The searches of TLogCtrl: the record found and the chain of remarks above
// it, which the folded title list unfolds down to it.
#include "log/Logunit1.h"
#include "search/SearchEngine.h"

namespace kest {
namespace {

// The number of the record at `match`, then the numbers of its parent,
// grandparent, ... found walking back from `match` to `stop` inclusive.
ChainList ChainFrom(const TLogCtrl& log, IndexPos match, IndexPos stop) {
  ChainList chain;
  const TLogData& m = log.GetItem(match);
  chain.push_back(m.Number);
  if (m.Level == -1) return chain;
  RemarkNo parent = m.CommentTo;
  for (std::int32_t j = match.v; j >= std::max(stop.v, 0); --j) {
    const TLogData& r = log.GetItem(IndexPos(j));
    if (r.Number == parent) {
      chain.push_back(parent);
      if (r.Level == -1) break;
      parent = r.CommentTo;
    }
  }
  return chain;
}

ChainList FindText(const TLogCtrl& log, IndexPos start, int step, std::string_view key,
                   const std::filesystem::path& file, bool ignoreCase,
                   const std::function<void(int)>& progress) {
  SearchEngine engine(file, log, std::string(key), ignoreCase);
  engine.SetProgress(progress);
  const IndexPos match = engine.FindFirst(start + step, step);
  if (match.v < 0) return {};
  return ChainFrom(log, match, step > 0 ? start : IndexPos(0));
}

ChainList FindID(const TLogCtrl& log, IndexPos start, int step, std::string_view key) {
  for (std::int32_t i = start.v + step; i >= 0 && i < log.Count(); i += step) {
    if (log.GetID(IndexPos(i)) == key) return ChainFrom(log, IndexPos(i), step > 0 ? start : IndexPos(0));
  }
  return {};
}

}  // namespace

ChainList TLogCtrl::FindTextForward(IndexPos start, std::string_view key, const std::filesystem::path& file,
                                    bool ignoreCase, const std::function<void(int)>& progress) const {
  return FindText(*this, start, +1, key, file, ignoreCase, progress);
}

ChainList TLogCtrl::FindTextBackward(IndexPos start, std::string_view key, const std::filesystem::path& file,
                                     bool ignoreCase, const std::function<void(int)>& progress) const {
  return FindText(*this, start, -1, key, file, ignoreCase, progress);
}

IndexPos TLogCtrl::FindTextFrom(IndexPos from, int step, std::string_view key, const std::filesystem::path& file,
                                bool ignoreCase, const std::function<void(int)>& progress) const {
  SearchEngine engine(file, *this, std::string(key), ignoreCase);
  engine.SetProgress(progress);
  return engine.FindFirst(from, step);
}

ChainList TLogCtrl::FindIDForward(IndexPos start, std::string_view key) const {
  return FindID(*this, start, +1, key);
}

ChainList TLogCtrl::FindIDBackward(IndexPos start, std::string_view key) const {
  return FindID(*this, start, -1, key);
}

}  // namespace kest
