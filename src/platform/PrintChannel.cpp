#include "platform/PrintChannel.h"

#include <algorithm>
#include <vector>

#include "platform/Codec.h"

namespace kest {

namespace {

// Where each character of `s` starts, scanning from its first byte (a trail
// byte that looks like a lead byte is never taken for the start of one).
std::vector<std::size_t> CharStarts(std::string_view s) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < s.size();) {
    starts.push_back(i);
    i += (IsSjisLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
  }
  return starts;
}

}  // namespace

void PrintChannel::Write(std::string_view bytes) {
  for (const char c : bytes) {
    switch (c) {
      case '\r':
        FlushRun();
        break;
      case '\n':
        FlushRun();
        NewLine();
        break;
      case '\f':
        FlushRun();
        NewPage();
        break;
      case '\t':
        FlushRun();
        Tab();
        break;
      default:
        run_.push_back(c);
    }
  }
  FlushRun();
}

void PrintChannel::WriteLine(std::string_view bytes) {
  Write(bytes);
  Write("\r\n");
}

void PrintChannel::FlushRun() {
  std::string_view rest = run_;
  while (!rest.empty()) {
    const int room = device_.PageWidth() - x_;
    std::size_t len = rest.size();
    TextExtent e = device_.Extent(rest);
    if (e.width > room) {
      // Shorten from the end, one whole character at a time, until it fits.
      const std::vector<std::size_t> starts = CharStarts(rest);
      std::size_t k = starts.size();
      len = 0;
      while (k > 1) {
        --k;
        e = device_.Extent(rest.substr(0, starts[k]));
        if (e.width <= room) {
          len = starts[k];
          break;
        }
      }
      if (len == 0 && x_ == 0) {
        // Not even one character fits on an empty line (paper narrower than
        // a character): print it all the same rather than loop for ever.
        len = starts.size() > 1 ? starts[1] : rest.size();
        e = device_.Extent(rest.substr(0, len));
      }
    }
    if (len > 0) {
      device_.Draw(x_, y_, rest.substr(0, len));
      x_ += e.width;
      lineHeight_ = std::max(lineHeight_, e.height + 2);
      rest.remove_prefix(len);
    }
    if (!rest.empty()) NewLine();
  }
  run_.clear();
}

void PrintChannel::NewLine() {
  const int h = lineHeight_ > 0 ? lineHeight_ : device_.CharHeight();
  x_ = 0;
  y_ += h;
  lineHeight_ = 0;
  if (y_ > device_.PageHeight() - 2 * h) NewPage();
}

void PrintChannel::NewPage() {
  device_.NewPage();
  x_ = 0;
  y_ = 0;
  lineHeight_ = 0;
}

void PrintChannel::Tab() {
  // The next stop to the right, also from a point one short of a stop.
  const int w = std::max(8 * device_.AverageCharWidth(), 1);
  x_ = (x_ / w + 1) * w;
  if (x_ > device_.PageWidth()) NewLine();
}

}  // namespace kest
