// The printer channel: a line-oriented text stream that lays Shift-JIS bytes
// out on pages. It knows nothing of the printer itself; a PrintDevice reports
// the printable size and the font's metrics, measures runs of text and draws
// them. The Qt printer device lives in QtPrinter; tests use a device with
// fixed metrics.
//
// Layout rules: ordinary bytes collect into a run, drawn at the current point
// when a control byte arrives or the written block ends. A run wider than the
// room left on the line is cut between whole Shift-JIS characters: the part
// that fits is drawn, a new line begins and the rest continues there. A line
// is 2 pixels higher than its tallest run (an empty line is the font's
// character height); after a new line that starts lower than the printable
// height minus twice that line height, a new page begins. CR ends the run,
// LF ends it and starts a new line, form feed starts a new page, TAB moves to
// the next stop (every 8 average character widths).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kest {

struct TextExtent {
  int width = 0;
  int height = 0;
};

class PrintDevice {
 public:
  virtual ~PrintDevice() = default;
  // The printable area, in device units; (0, 0) is its top left corner.
  virtual int PageWidth() const = 0;
  virtual int PageHeight() const = 0;
  // The font's character height and average character width.
  virtual int CharHeight() const = 0;
  virtual int AverageCharWidth() const = 0;
  // The size of a run of Shift-JIS text in the printing font.
  virtual TextExtent Extent(std::string_view sjis) const = 0;
  // Draws a run with its top left corner at (x, y).
  virtual void Draw(int x, int y, std::string_view sjis) = 0;
  // Ends the page and begins the next.
  virtual void NewPage() = 0;
};

class PrintChannel {
 public:
  explicit PrintChannel(PrintDevice& device) : device_(device) {}

  // Writes a block of bytes; its last run is drawn before this returns.
  void Write(std::string_view bytes);
  // Writes the bytes followed by CR LF.
  void WriteLine(std::string_view bytes);

  int X() const { return x_; }
  int Y() const { return y_; }

 private:
  void FlushRun();
  void NewLine();
  void NewPage();
  void Tab();

  PrintDevice& device_;
  std::string run_;
  int x_ = 0;
  int y_ = 0;
  int lineHeight_ = 0;  // 2 + the tallest run drawn on this line; 0: none yet
};

}  // namespace kest
