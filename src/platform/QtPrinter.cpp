#include "platform/QtPrinter.h"

#include <QPainter>
#include <QPrinter>
#include <stdexcept>

#include "platform/Codec.h"

namespace kest {

namespace {

QString Unicode(std::string_view sjis) { return QString::fromUtf8(SjisToUtf8(sjis)); }
std::string Sjis(const QString& s) { return Utf8ToSjis(s.toStdString()); }

}  // namespace

QFont PrintFont() {
  QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
  f.setPointSize(9);
  return f;
}

QtPrintDevice::QtPrintDevice(QPainter& painter, QPrinter& printer)
    : painter_(painter),
      printer_(printer),
      font_(PrintFont(), &printer),
      metrics_(font_, &printer) {
  painter_.setFont(font_);
  painter_.setPen(Qt::black);
}

int QtPrintDevice::PageWidth() const { return printer_.width(); }
int QtPrintDevice::PageHeight() const { return printer_.height(); }
int QtPrintDevice::CharHeight() const { return metrics_.height(); }
int QtPrintDevice::AverageCharWidth() const { return metrics_.averageCharWidth(); }

TextExtent QtPrintDevice::Extent(std::string_view sjis) const {
  return {metrics_.horizontalAdvance(Unicode(sjis)), metrics_.height()};
}

void QtPrintDevice::Draw(int x, int y, std::string_view sjis) {
  painter_.drawText(x, y + metrics_.ascent(), Unicode(sjis));
}

void QtPrintDevice::NewPage() {
  if (!printer_.newPage()) throw std::runtime_error("プリンタに書き込めません");
}

void PrintLines(QPrinter& printer, const QStringList& statusTexts, const QStringList& body) {
  printer.setDocName(QString());
  QPainter painter;
  if (!painter.begin(&printer)) throw std::runtime_error("印刷を開始できません");
  QtPrintDevice device(painter, printer);
  PrintChannel channel(device);
  channel.WriteLine(Sjis(statusTexts.join(QStringLiteral("  "))));
  for (const QString& line : body) channel.WriteLine(Sjis(line));
  if (!painter.end() || printer.printerState() == QPrinter::Error) {
    throw std::runtime_error("プリンタに書き込めません");
  }
}

}  // namespace kest
