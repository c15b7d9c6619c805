// The batch side's export:
//   kest32 --export=text|html [--thread=NUMBER | --remark=NUMBER] [--sort=...]
//          [--encoding=shift_jis] [-o OUT] FILE
// The option parsing of the batch side hands the export's own options here,
// and the run once the log has been scanned.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "export/Export.h"

namespace kest {

struct ExportArguments {
  std::string format;                 // the value of --export
  std::optional<std::string> thread;  // --thread=NUMBER
  std::optional<std::string> remark;  // --remark=NUMBER
  std::optional<std::string> output;  // -o OUT, --output=OUT
};

// Takes one of the export's options (`name` as written, up to an '='),
// `value` giving its value; false when `name` is none of them.
bool TakeExportOption(ExportArguments& args, std::string_view name,
                      const std::function<std::string()>& value);

// What is wrong with the export's options (Japanese, UTF-8); empty when
// they are sound. `exporting`: --export was given.
std::string CheckExportArguments(const ExportArguments& args, bool exporting, bool shiftJis);

// Exports from the log scanned into `index` (in file order, as the scan
// left it): the remark or the thread of the first remark of the number in
// the file, or the whole log in `order`. Writes to `out` without -o.
// Returns the exit status: 0, or 1 when the remark is not in the log or
// the export could not be written. Throws LogFileError when the log cannot
// be read.
int RunExportCommand(const ExportArguments& args, bool shiftJis, SortOrder order, ExportSource source,
                     TLogCtrl& index, std::ostream& out, std::ostream& err);

}  // namespace kest
