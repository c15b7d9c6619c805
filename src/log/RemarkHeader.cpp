#include "log/RemarkHeader.h"

#include "platform/Codec.h"

namespace kest {

RemarkHeader HeaderOf(const TLogData& rec) {
  return RemarkHeader{rec.Number, std::string(rec.ID()), std::string(rec.Speaker()), std::string(rec.Title()),
                      std::string(rec.Date())};
}

std::array<std::string, 4> PanelTexts(const std::optional<RemarkHeader>& header) {
  if (!header) {
    return {std::string(), "ID:", KEST_SJIS("発言者:"), KEST_SJIS("ﾀｲﾄﾙ:")};
  }
  return {std::to_string(header->Number.v), "ID: " + header->ID, KEST_SJIS("発言者: ") + header->Speaker,
          KEST_SJIS("ﾀｲﾄﾙ: ") + header->Title};
}

std::string HeaderLine(const std::optional<RemarkHeader>& header) {
  const std::array<std::string, 4> panels = PanelTexts(header);
  std::string line = panels[0];
  for (std::size_t i = 1; i < panels.size(); ++i) line += "  " + panels[i];
  return line;
}

namespace {

bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The length of the character at `i`, and whether it is a blank.
std::size_t CharAt(std::string_view s, std::size_t i, bool& blank) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (IsSjisLead(c) && i + 1 < s.size()) {
    blank = c == 0x81 && static_cast<unsigned char>(s[i + 1]) == 0x40;  // U+3000
    return 2;
  }
  blank = c == ' ' || (c >= '\t' && c <= '\r');
  return 1;
}

}  // namespace

std::string TrimSjisBlanks(std::string_view sjis) {
  std::size_t begin = std::string_view::npos;
  std::size_t end = 0;
  for (std::size_t i = 0; i < sjis.size();) {
    bool blank = false;
    const std::size_t n = CharAt(sjis, i, blank);
    if (!blank) {
      if (begin == std::string_view::npos) begin = i;
      end = i + n;
    }
    i += n;
  }
  if (begin == std::string_view::npos) return std::string();
  return std::string(sjis.substr(begin, end - begin));
}

std::string ProposedBookmarkName(const RemarkHeader& header) {
  return TrimSjisBlanks(header.Speaker) + ' ' + TrimSjisBlanks(header.Title);
}

}  // namespace kest
