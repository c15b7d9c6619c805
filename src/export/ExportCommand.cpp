#include "export/ExportCommand.h"

#include <ostream>

#include "platform/Convert.h"

namespace kest {
namespace {

// A remark number as --show takes it.
std::optional<std::int32_t> RemarkNumber(const std::string& s) {
  if (s.find_first_not_of("0123456789+-") != std::string::npos) return std::nullopt;
  return StrToInt(s);
}

}  // namespace

bool TakeExportOption(ExportArguments& args, std::string_view name,
                      const std::function<std::string()>& value) {
  if (name == "--thread") args.thread = value();
  else if (name == "--remark") args.remark = value();
  else if (name == "-o" || name == "--output") args.output = value();
  else return false;
  return true;
}

std::string CheckExportArguments(const ExportArguments& args, bool exporting, bool shiftJis) {
  if (!exporting) {
    if (args.thread) return "--thread は --export と一緒に指定してください";
    if (args.remark) return "--remark は --export と一緒に指定してください";
    if (args.output) return "-o は --export と一緒に指定してください";
    return {};
  }
  if (args.format != "text" && args.format != "html") {
    return "--export の値が正しくありません (text か html): " + args.format;
  }
  if (args.thread && args.remark) return "--thread と --remark は一緒に指定できません";
  for (const auto& number : {args.thread, args.remark}) {
    if (number && !RemarkNumber(*number)) return "発言番号が正しくありません: " + *number;
  }
  if (args.output && args.output->empty()) return "-o には出力ファイル名が必要です";
  if (args.format == "html" && shiftJis)
    return "HTML は UTF-8 でだけ書き出せます (--encoding=shift_jis はテキストだけ)";
  return {};
}

int RunExportCommand(const ExportArguments& args, bool shiftJis, SortOrder order, ExportSource source,
                     TLogCtrl& index, std::ostream& out, std::ostream& err) {
  ExportScope scope = ExportScope::Log;
  ByteOffset start;
  if (const std::optional<std::string>& number = args.thread ? args.thread : args.remark) {
    // The first remark of that number in the file, as --show takes it; found
    // again by its place in the file once the index is ordered.
    const std::int32_t n = *RemarkNumber(*number);
    const IndexPos p = index.FindNumber(RemarkNo(n));
    if (p.v < 0) {
      err << "kest32: 発言 " << n << " はこのログにありません\n";
      return 1;
    }
    start = index.GetItem(p).StartPos;
    scope = args.thread ? ExportScope::Thread : ExportScope::Remark;
  }
  // A thread is in content order whatever --sort says; one remark needs no order.
  if (scope == ExportScope::Thread) order = SortOrder::ContentFull;
  if (scope != ExportScope::Remark) ArrangeIndex(index, order);
  source.index = &index;
  source.order = order;
  const IndexPos remark = scope == ExportScope::Log ? IndexPos(-1) : FindStart(index, start);

  const ExportOptions options{args.format == "html" ? ExportFormat::Html : ExportFormat::Text, shiftJis};
  try {
    const ExportSelection selection = SelectRemarks(source, scope, remark);
    if (args.output) {
      ExportToFile(source, selection, options, *args.output);
    } else {
      StreamSink sink(out);
      WriteExport(source, selection, options, sink);
      out.flush();
    }
  } catch (const ExportError& e) {
    err << "kest32: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace kest
