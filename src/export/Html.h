// The pieces of an exported page: text made safe to stand in HTML, the
// anchors of remarks and the page's own style sheet.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "log/Types.h"

namespace kest {

// What a character becomes in the output: a byte that stays as it is has an
// empty entry. Works on UTF-8, byte by byte: only ASCII bytes are ever
// replaced, and those never occur inside a multibyte character.
using ByteMap = std::array<std::string_view, 256>;

// "〓", the mark that stands for a character that cannot be shown.
inline constexpr std::string_view kGeta = "\xE3\x80\x93";

// For a text file: NUL and a lone LF inside a line (which would break the
// line in two) become "〓".
const ByteMap& TextByteMap();
// For HTML: & < > " ' as character references, and the control characters
// (all but TAB) as "〓".
const ByteMap& HtmlByteMap();

// Appends `utf8` to `out` with the bytes that `map` replaces replaced.
void AppendMapped(std::string_view utf8, const ByteMap& map, std::string& out);
// Replaces the bytes that `map` replaces in `out` from `from` on: text
// decoded straight into `out` is mostly left as it is, without a copy.
void MapInPlace(std::string& out, std::size_t from, const ByteMap& map);

// Appends `utf8` to `out` escaped for HTML text and attribute values.
inline void AppendHtmlEscaped(std::string_view utf8, std::string& out) {
  AppendMapped(utf8, HtmlByteMap(), out);
}
std::string HtmlEscaped(std::string_view utf8);

// The anchor of a remark: "r00301", and for the n-th remark of the same
// number in one page (n >= 2) "r00301-n". A negative number (which only a
// first remark's odd header gives) reads "rm00012".
void AppendAnchor(RemarkNo number, std::int32_t occurrence, std::string& out);

// The style sheet inside every exported page: readable on a narrow screen,
// nested threads indented a little at every level, printable.
std::string_view PageStyle();

}  // namespace kest
