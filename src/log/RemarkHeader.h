// The header of one remark as the viewer shows it: the four status panels,
// the first line of a printed remark and of `kest32 --show`, and the name a
// new bookmark is offered. Every one of them is made here from the record's
// fields, so none is ever read back from another's text.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "log/Logunit0.h"

namespace kest {

// The fields of one remark's header as the index keeps them (Shift-JIS).
struct RemarkHeader {
  RemarkNo Number;
  std::string ID;
  std::string Speaker;
  std::string Title;
  std::string Date;
};

RemarkHeader HeaderOf(const TLogData& rec);

// The texts of the four status panels (Shift-JIS): "301", "ID: ABC00001",
// "発言者: name", "ﾀｲﾄﾙ: title"; with no remark, "", "ID:", "発言者:" and
// "ﾀｲﾄﾙ:".
std::array<std::string, 4> PanelTexts(const std::optional<RemarkHeader>& header);

// The four panel texts joined by two blanks: the first line of a printed
// remark and of `kest32 --show`.
std::string HeaderLine(const std::optional<RemarkHeader>& header);

// The name a new bookmark is offered: the speaker and the title, each without
// the blanks around it (half-width and full-width), one blank between.
std::string ProposedBookmarkName(const RemarkHeader& header);

// `sjis` without the blanks at either end: ASCII white space and the
// full-width blank, each taken as a whole character.
std::string TrimSjisBlanks(std::string_view sjis);

}  // namespace kest
