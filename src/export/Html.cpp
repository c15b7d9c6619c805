#include "export/Html.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kest {
namespace {

ByteMap MakeTextMap() {
  ByteMap m{};
  m[0x00] = kGeta;
  m['\n'] = kGeta;
  return m;
}

ByteMap MakeHtmlMap() {
  ByteMap m{};
  for (int c = 0; c < 0x20; ++c) m[static_cast<std::size_t>(c)] = kGeta;
  m['\t'] = {};
  m[0x7F] = kGeta;
  m['&'] = "&amp;";
  m['<'] = "&lt;";
  m['>'] = "&gt;";
  m['"'] = "&quot;";
  m['\''] = "&#39;";
  return m;
}

}  // namespace

const ByteMap& TextByteMap() {
  static const ByteMap map = MakeTextMap();
  return map;
}

const ByteMap& HtmlByteMap() {
  static const ByteMap map = MakeHtmlMap();
  return map;
}

void AppendMapped(std::string_view utf8, const ByteMap& map, std::string& out) {
  const char* s = utf8.data();
  const std::size_t n = utf8.size();
  std::size_t plain = 0;  // start of the run of bytes kept as they are
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view& r = map[static_cast<unsigned char>(s[i])];
    if (r.empty()) continue;
    out.append(s + plain, i - plain);
    out.append(r);
    plain = i + 1;
  }
  out.append(s + plain, n - plain);
}

void MapInPlace(std::string& out, std::size_t from, const ByteMap& map) {
  // The first byte to replace, looked for eight bytes at a time. Only
  // ASCII bytes are ever replaced: eight bytes of Japanese text, all from
  // 0x80 up, are passed at once.
  const char* s = out.data();
  const std::size_t n = out.size();
  // 1 for a byte to replace, as a number: eight of them are or-ed without
  // a branch between.
  auto mapped = [&map, s](std::size_t i) { return map[static_cast<unsigned char>(s[i])].empty() ? 0u : 1u; };
  std::size_t i = from;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, s + i, sizeof word);
    if ((word & 0x8080808080808080ull) == 0x8080808080808080ull) continue;
    if (mapped(i) | mapped(i + 1) | mapped(i + 2) | mapped(i + 3) | mapped(i + 4) | mapped(i + 5) |
        mapped(i + 6) | mapped(i + 7)) {
      break;
    }
  }
  while (i < n && mapped(i) == 0) ++i;
  if (i == n) return;
  const std::string rest(s + i, n - i);
  out.resize(i);
  AppendMapped(rest, map, out);
}

std::string HtmlEscaped(std::string_view utf8) {
  std::string out;
  AppendHtmlEscaped(utf8, out);
  return out;
}

void AppendAnchor(RemarkNo number, std::int32_t occurrence, std::string& out) {
  out.push_back('r');
  if (number.v < 0) out.push_back('m');
  char digits[16];
  const std::int64_t magnitude = std::abs(static_cast<std::int64_t>(number.v));
  const auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  const auto length = static_cast<std::size_t>(end - digits);
  if (length < 5) out.append(5 - length, '0');
  out.append(digits, end);
  if (occurrence >= 2) {
    out.push_back('-');
    out.append(std::to_string(occurrence));
  }
}

std::string_view PageStyle() {
  return R"(body{margin:0 auto;max-width:50rem;padding:0 .8rem 2rem;font-family:sans-serif;line-height:1.55;color:#222;background:#fff;-webkit-text-size-adjust:100%;text-size-adjust:100%}
h1{font-size:1.35rem;margin:1rem 0 .2rem}
.about{margin:0 0 1rem;color:#555;font-size:.9rem}
ul.remarks,ul.remarks ul{list-style:none;margin:0;padding:0}
ul.remarks ul{margin-left:.7rem;padding-left:.6rem;border-left:2px solid #c8d0dc}
article{margin:.5rem 0;padding:.4rem .6rem;border:1px solid #d6dbe3;border-radius:4px;background:#fbfcfe}
article header{break-after:avoid}
article h2{margin:.1rem 0;font-size:1rem;overflow-wrap:anywhere}
.meta,.to{margin:0;font-size:.85rem;color:#555}
.meta span{margin-left:.4em}
.meta .number{font-weight:bold;margin-left:0}
a{color:#1a4fa0}
pre{margin:.4rem 0 0;white-space:pre-wrap;overflow-wrap:anywhere;font-family:monospace,monospace;font-size:.92rem;line-height:1.45}
:target{outline:2px solid #4a86e8}
@media (max-width:36rem){body{padding:0 .4rem 1.5rem}ul.remarks ul{margin-left:.3rem;padding-left:.4rem}article{padding:.3rem .4rem}}
@media print{body{max-width:none;padding:0;background:none}article{background:none;border-color:#999}a{color:inherit;text-decoration:none}:target{outline:none}}
)";
}

}  // namespace kest
