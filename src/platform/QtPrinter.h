// Printing through Qt: a PrintDevice that draws on a QPrinter with a
// QPainter, and the one operation that prints a remark as the window shows
// it. The page and line layout is PrintChannel's.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QStringList>

#include "platform/PrintChannel.h"

class QPainter;
class QPrinter;
class QWidget;

namespace kest {

// The printing font: "ＭＳ Ｐゴシック" at 9 points (a proportional Japanese
// face stands in for it), scaled to the printer's resolution.
QFont PrintFont();

class QtPrintDevice : public PrintDevice {
 public:
  // `painter` is active on `printer`.
  QtPrintDevice(QPainter& painter, QPrinter& printer);

  int PageWidth() const override;
  int PageHeight() const override;
  int CharHeight() const override;
  int AverageCharWidth() const override;
  TextExtent Extent(std::string_view sjis) const override;
  void Draw(int x, int y, std::string_view sjis) override;
  // Throws when the printer refuses the page.
  void NewPage() override;

 private:
  QPainter& painter_;
  QPrinter& printer_;
  QFont font_;
  QFontMetrics metrics_;
};

// Prints the four status texts joined by two blanks as the first line, then
// each of `body` as a line of its own, on `printer` as the print dialog has
// set it up. The document has no title. Throws std::runtime_error with a
// Japanese message when the printer cannot start the document or fails.
void PrintLines(QPrinter& printer, const QStringList& statusTexts, const QStringList& body);

}  // namespace kest
