// Any bytes as a log: the scan, every order, the folded list and the reading
// of every remark's text must neither crash, hang, nor read outside the file;
// the scan on two threads, split wherever the input says, gives the records
// of the scan on one.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "log/Logunit1.h"
#include "log/TitleLines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = ::memfd_create("fuzz.log", 0);
  if (fd < 0) return 0;
  if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
    ::close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    kest::TLogCtrl index;
    kest::ScanLog(path, index);
    const std::int32_t n = index.Count();
    {
      kest::TLogCtrl split;
      const std::int64_t from = size > 0 ? (data[0] * 256 + data[size - 1]) % static_cast<std::int64_t>(size) : 0;
      kest::ScanLog(path, split, {}, 256, kest::ScanSplit{from, nullptr});
      if (split.Count() != n) std::abort();
      for (std::int32_t i = 0; i < n; ++i) {
        const kest::TLogData& a = index.GetItem(kest::IndexPos(i));
        const kest::TLogData& b = split.GetItem(kest::IndexPos(i));
        if (a.StartPos != b.StartPos || a.EndPos != b.EndPos || a.Number != b.Number ||
            a.CommentTo != b.CommentTo || a.Title() != b.Title() || a.ID() != b.ID() ||
            a.Speaker() != b.Speaker() || a.Date() != b.Date()) {
          std::abort();
        }
      }
    }
    kest::LineReader reader(path, 256);  // small blocks: lines cross block ends
    for (std::int32_t i = 0; i < n; ++i) {
      kest::IndexPos p(i);
      kest::LoadRemarkText(path, index, p);
      kest::RemarkMatches(reader, index.GetItem(p), "ab", (size & 1) != 0);
    }
    const kest::ColumnSwitches cols{true, true, true};
    for (kest::SortOrder order : {kest::SortOrder::ContentFull, kest::SortOrder::Remark, kest::SortOrder::ContentFolded}) {
      kest::ArrangeIndex(index, order);
      for (std::int32_t i = 0; i < n; ++i) kest::ListLineText(index, kest::IndexPos(i), order, cols);
    }
    kest::FoldedList folded;
    folded.Build(index);
    folded.ExpandAll(index);
    for (std::int32_t l = 0; l < folded.Count(); ++l) folded.LineText(index, kest::ListLine(l), cols);
    for (std::int32_t l = folded.Count() - 1; l >= 0; --l) folded.ToggleFold(index, kest::ListLine(l));
    if (n > 0) index.CommentChain(index.GetNumber(kest::IndexPos(n - 1)));
  } catch (const kest::LogFileError&) {
  }
  ::close(fd);
  return 0;
}
