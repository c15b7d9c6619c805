#include "ui/ExMemo.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <limits>

#include "platform/Codec.h"
#include "log/KeyMatcher.h"

namespace kest {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One character of a line: how many bytes of Text it takes and how many
// QChars it shows as.
struct Cell {
  unsigned char bytes;
  unsigned char chars;
};

// Reads one code point of well-formed UTF-8 at `at`; returns its length, or 0
// when the bytes there are not UTF-8.
std::size_t ReadUtf8(std::string_view s, std::size_t at, char32_t* cp) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(at);
  std::size_t n;
  char32_t v;
  if (c < 0x80) {
    *cp = c;
    return 1;
  } else if (c >= 0xC2 && c < 0xE0) {
    n = 2;
    v = c & 0x1F;
  } else if (c >= 0xE0 && c < 0xF0) {
    n = 3;
    v = c & 0x0F;
  } else if (c >= 0xF0 && c < 0xF5) {
    n = 4;
    v = c & 0x07;
  } else {
    return 0;
  }
  if (at + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    v = (v << 6) | (byte(at + i) & 0x3F);
  }
  if ((n == 3 && v < 0x800) || (n == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
      (v >= 0xD800 && v <= 0xDFFF)) {
    return 0;
  }
  *cp = v;
  return n;
}

// Appends one character for display and returns the QChars it took. Bytes
// that the document would take as a line or paragraph break (and NUL) show
// as the replacement character, so that one text line stays one block.
int AppendChar(QString* out, char32_t cp) {
  if (cp == 0 || cp == U'\r' || cp == U'\n' || cp == 0x2028 || cp == 0x2029 || cp == 0xFFFC) {
    cp = kReplacement;
  }
  if (cp > 0xFFFF) {
    if (out) {
      out->append(QChar::highSurrogate(cp));
      out->append(QChar::lowSurrogate(cp));
    }
    return 2;
  }
  if (out) out->append(QChar(static_cast<char16_t>(cp)));
  return 1;
}

// Decodes a single character given as bytes; true with *cp when they decode
// to exactly one character.
bool DecodeOne(std::string_view sjis, char32_t* cp) {
  std::string u8 = SjisToUtf8(sjis);
  if (u8.empty()) return false;
  std::size_t n = ReadUtf8(u8, 0, cp);
  return n != 0 && n == u8.size();
}

// Decodes one line of Shift-JIS for display, appending to `out` and, when
// given, the character cells to `cells`. Returns true when the line is
// "plain": every character is a single byte or a lead byte with the byte after
// it, and shows as one QChar, so offsets can be mapped without decoding again.
//
// The line is converted in one go; the conversion is then walked alongside
// the bytes (an undecodable byte gives U+FFFD and is skipped alone, any other
// character takes two bytes exactly when it starts with a lead byte). Should
// the walk and the bytes ever disagree, the line is decoded character by
// character instead, which is slower but consistent by construction. Either
// way the same bytes always give the same cells.
bool DecodeLine(std::string_view sjis, QString* out, std::vector<Cell>* cells) {
  const qsizetype outStart = out ? out->size() : 0;
  const std::size_t cellStart = cells ? cells->size() : 0;
  const std::size_t n = sjis.size();
  auto lead = [&](std::size_t i) {
    return IsSjisLead(static_cast<unsigned char>(sjis[i])) && i + 1 < n;
  };

  {
    const std::string u8 = SjisToUtf8(sjis);
    bool plain = true;
    bool ok = true;
    std::size_t i = 0;
    std::size_t j = 0;
    while (j < u8.size()) {
      char32_t cp;
      std::size_t used = ReadUtf8(u8, j, &cp);
      if (used == 0 || i >= n) {
        ok = false;
        break;
      }
      j += used;
      unsigned char bytes;
      if (cp == kReplacement) {
        bytes = 1;
        if (lead(i)) plain = false;
      } else {
        bytes = lead(i) ? 2 : 1;
      }
      unsigned char chars = static_cast<unsigned char>(AppendChar(out, cp));
      if (chars != 1) plain = false;
      if (cells) cells->push_back({bytes, chars});
      i += bytes;
    }
    if (ok && i == n) return plain;
    if (out) out->truncate(outStart);
    if (cells) cells->resize(cellStart);
  }

  std::size_t i = 0;
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(sjis[i]);
    char32_t cp;
    unsigned char bytes = 1;
    if (c < 0x80) {
      cp = c;
    } else if (lead(i) && DecodeOne(sjis.substr(i, 2), &cp) && cp != kReplacement) {
      bytes = 2;
    } else if (!DecodeOne(sjis.substr(i, 1), &cp)) {
      cp = kReplacement;
    }
    unsigned char chars = static_cast<unsigned char>(AppendChar(out, cp));
    if (cells) cells->push_back({bytes, chars});
    i += bytes;
  }
  return false;
}

// Walks the cells of a line: calls step(bytes, chars) for each until it
// returns false.
template <class Step>
void WalkCells(std::string_view sjis, bool plain, Step step) {
  if (plain) {
    const std::size_t n = sjis.size();
    std::size_t i = 0;
    while (i < n) {
      unsigned char bytes =
          (IsSjisLead(static_cast<unsigned char>(sjis[i])) && i + 1 < n) ? 2 : 1;
      if (!step(bytes, static_cast<unsigned char>(1))) return;
      i += bytes;
    }
    return;
  }
  std::vector<Cell> cells;
  DecodeLine(sjis, nullptr, &cells);
  for (const Cell& cell : cells) {
    if (!step(cell.bytes, cell.chars)) return;
  }
}

}  // namespace

TExMemo::TExMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);  // see changeEvent for the caret
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setUndoRedoEnabled(false);
  // No document margin: display lines then start at the top edge of the
  // viewport whether or not the view is scrolled, so the viewport height is
  // exactly the room for text that VisibleLines divides. A small viewport
  // margin on the left keeps the text off the frame.
  document()->setDocumentMargin(0);
  setViewportMargins(2, 0, 0, 0);
  SetBackgroundColor(palette().color(QPalette::Base));
  setTabStopDistance(8 * fontMetrics().horizontalAdvance(QLatin1Char(' ')));
  ResetContent();
  UpdateScrollRange();
}

// --- Content -------------------------------------------------------------

void TExMemo::ResetContent() {
  text_.clear();
  lines_.assign(1, Line{});
  sel_ = ByteSelection{};
}

void TExMemo::Clear() {
  ResetContent();
  QPlainTextEdit::clear();
  SelectBytes(0, 0);
  UpdateScrollRange();
}

void TExMemo::SetLines(const std::vector<std::string>& sjisLines) {
  ResetContent();
  std::size_t totalBytes = 0;
  for (const std::string& s : sjisLines) totalBytes += s.size() + 2;
  text_.reserve(totalBytes);
  lines_.clear();
  lines_.reserve(sjisLines.size() + 1);

  QString all;
  all.reserve(static_cast<qsizetype>(totalBytes));
  for (const std::string& s : sjisLines) {
    Line line;
    line.byteStart = static_cast<std::int64_t>(text_.size());
    line.docStart = static_cast<int>(all.size());
    line.byteLen = static_cast<int>(s.size());
    line.plain = DecodeLine(s, &all, nullptr);
    line.charLen = static_cast<int>(all.size()) - line.docStart;
    lines_.push_back(line);
    text_.append(s).append("\r\n");
    all.append(QLatin1Char('\n'));
  }
  Line last;
  last.byteStart = static_cast<std::int64_t>(text_.size());
  last.docStart = static_cast<int>(all.size());
  lines_.push_back(last);

  setPlainText(all);
  SelectBytes(static_cast<std::int64_t>(text_.size()), 0);
  UpdateScrollRange();
}

void TExMemo::AppendLine(std::string_view sjis) {
  QString shown;
  const bool plain = DecodeLine(sjis, &shown, nullptr);
  Line& line = lines_.back();  // the empty line after the last CR LF
  line.byteLen = static_cast<int>(sjis.size());
  line.charLen = static_cast<int>(shown.size());
  line.plain = plain;
  text_.append(sjis).append("\r\n");
  Line next;
  next.byteStart = static_cast<std::int64_t>(text_.size());
  next.docStart = line.docStart + line.charLen + 1;
  lines_.push_back(next);

  shown.append(QLatin1Char('\n'));
  QTextCursor end(document());
  end.movePosition(QTextCursor::End);
  end.insertText(shown);
  SelectBytes(static_cast<std::int64_t>(text_.size()), 0);
  UpdateScrollRange();
}

std::string_view TExMemo::LineBytes(const Line& line) const {
  return std::string_view(text_).substr(static_cast<std::size_t>(line.byteStart),
                                        static_cast<std::size_t>(line.byteLen));
}

QStringList TExMemo::DisplayLines() {
  DisplayLineCount();  // lays every block out
  QStringList result;
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    const QString text = block.text();
    const QTextLayout* layout = block.layout();
    if (!layout || layout->lineCount() == 0) {
      result.append(text);
      continue;
    }
    for (int i = 0; i < layout->lineCount(); ++i) {
      const QTextLine line = layout->lineAt(i);
      result.append(text.mid(line.textStart(), line.textLength()));
    }
  }
  if (!result.isEmpty() && result.back().isEmpty()) result.removeLast();
  return result;
}

// --- Offsets ---------------------------------------------------------------

std::size_t TExMemo::LineOfByte(std::int64_t byte) const {
  auto it = std::upper_bound(lines_.begin(), lines_.end(), byte,
                             [](std::int64_t b, const Line& l) { return b < l.byteStart; });
  return it == lines_.begin() ? 0 : static_cast<std::size_t>(it - lines_.begin()) - 1;
}

std::size_t TExMemo::LineOfPosition(int position) const {
  auto it = std::upper_bound(lines_.begin(), lines_.end(), position,
                             [](int p, const Line& l) { return p < l.docStart; });
  return it == lines_.begin() ? 0 : static_cast<std::size_t>(it - lines_.begin()) - 1;
}

int TExMemo::PositionOfByte(std::int64_t byte, bool roundUp) const {
  byte = std::clamp<std::int64_t>(byte, 0, static_cast<std::int64_t>(text_.size()));
  const std::size_t k = LineOfByte(byte);
  const Line& line = lines_[k];
  const std::int64_t offset = byte - line.byteStart;
  if (offset >= line.byteLen) {
    // At the line end, or between its CR and LF: rounding up goes to the
    // start of the next line.
    if (roundUp && offset > line.byteLen && k + 1 < lines_.size()) return lines_[k + 1].docStart;
    return line.docStart + line.charLen;
  }
  std::int64_t bytes = 0;
  int chars = 0;
  WalkCells(LineBytes(line), line.plain, [&](unsigned char b, unsigned char c) {
    if (bytes + b > offset) {
      if (roundUp && bytes < offset) chars += c;  // inside this character
      return false;
    }
    bytes += b;
    chars += c;
    return bytes < offset;
  });
  return line.docStart + chars;
}

std::int64_t TExMemo::ByteOfPosition(int position) const {
  position = std::clamp(position, 0, lines_.back().docStart);
  const Line& line = lines_[LineOfPosition(position)];
  const int offset = position - line.docStart;
  if (offset >= line.charLen) return line.byteStart + line.byteLen;
  std::int64_t bytes = 0;
  int chars = 0;
  WalkCells(LineBytes(line), line.plain, [&](unsigned char b, unsigned char c) {
    if (chars + c > offset) return false;
    bytes += b;
    chars += c;
    return chars < offset;
  });
  return line.byteStart + bytes;
}

// --- Caret and selection ---------------------------------------------------

void TExMemo::ApplyCursor(int anchor, int position) {
  // Setting the cursor makes the base class scroll it into view; the edit
  // control this pane stands for leaves the view alone when the selection is
  // set, so the view is put back.
  QScrollBar* bar = verticalScrollBar();
  const int top = bar->value();
  QTextCursor cursor = textCursor();
  cursor.setPosition(anchor);
  cursor.setPosition(position, QTextCursor::KeepAnchor);
  setTextCursor(cursor);
  bar->setValue(top);
}

void TExMemo::SelectBytes(std::int64_t start, std::int64_t length) {
  const std::int64_t size = static_cast<std::int64_t>(text_.size());
  start = std::clamp<std::int64_t>(start, 0, size);
  length = std::clamp<std::int64_t>(length, 0, size - start);
  const int anchor = PositionOfByte(start);
  const int position = length > 0 ? PositionOfByte(start + length, true) : anchor;
  ApplyCursor(anchor, position);
  const QTextCursor cursor = textCursor();
  sel_ = ByteSelection{start, length, cursor.anchor(), cursor.position()};
}

std::int64_t TExMemo::SelStart() const {
  const QTextCursor cursor = textCursor();
  if (cursor.anchor() == sel_.anchor && cursor.position() == sel_.position) return sel_.start;
  return ByteOfPosition(cursor.selectionStart());
}

std::int64_t TExMemo::SelLength() const {
  const QTextCursor cursor = textCursor();
  if (cursor.anchor() == sel_.anchor && cursor.position() == sel_.position) return sel_.length;
  return ByteOfPosition(cursor.selectionEnd()) - ByteOfPosition(cursor.selectionStart());
}

void TExMemo::SetSelStart(std::int64_t pos) { SelectBytes(pos, 0); }

void TExMemo::SetSelLength(std::int64_t len) { SelectBytes(SelStart(), len); }

// --- Line arithmetic ---------------------------------------------------------

// The document lays blocks out lazily and counts a block not laid out yet
// as one line, so display line numbers are exact only up to where the blocks
// have been laid out. These lay out what a question needs and no more: a
// remark of thousands of lines is not laid out in full for a look at its
// first page. Blocks already laid out cost nothing.

int TExMemo::LayOutLines(int lines) {
  QAbstractTextDocumentLayout* layout = document()->documentLayout();
  int count = 0;
  for (QTextBlock block = document()->begin(); block.isValid() && count < lines; block = block.next()) {
    if (!block.layout() || block.layout()->lineCount() == 0) layout->blockBoundingRect(block);
    count += block.lineCount();
  }
  return count;
}

void TExMemo::LayOutThrough(const QTextBlock& last) {
  QAbstractTextDocumentLayout* layout = document()->documentLayout();
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    if (!block.layout() || block.layout()->lineCount() == 0) layout->blockBoundingRect(block);
    if (block == last) break;
  }
}

int TExMemo::DisplayLineCount() { return LayOutLines(std::numeric_limits<int>::max()); }

int TExMemo::VisibleLines() const {
  const int spacing = fontMetrics().lineSpacing();
  return spacing > 0 ? viewport()->height() / spacing : 0;
}

void TExMemo::UpdateScrollRange() {
  // The base class lets the view go down until the last line reaches the
  // bottom of the pane; with centre-on-scroll it goes on until the last line
  // is at the top, which is the range this pane has. A text that fits
  // entirely does not scroll at all, so the mode is switched off then.
  const int visible = VisibleLines();
  const bool fits = LayOutLines(visible + 1) <= visible;
  if (centerOnScroll() == !fits) return;
  setCenterOnScroll(!fits);
}

int TExMemo::TopLine() {
  // The scroll bar counts lines as the document does; with every block up to
  // the first visible one laid out, that is the display line at the top.
  LayOutThrough(firstVisibleBlock());
  return verticalScrollBar()->value();
}

void TExMemo::SetTopLine(int line) { ScrollLine(line - TopLine()); }

int TExMemo::SelectLine() const {
  const std::int64_t end = std::min<std::int64_t>(SelStart(), static_cast<std::int64_t>(text_.size()));
  int count = 0;
  for (std::int64_t i = 0; i + 1 < end; ++i) {
    if (text_[static_cast<std::size_t>(i)] == '\r' && text_[static_cast<std::size_t>(i + 1)] == '\n') {
      ++count;
      ++i;
    }
  }
  return count;
}

void TExMemo::ScrollLine(int n) {
  const int top = TopLine();
  const int wanted = static_cast<int>(std::clamp<std::int64_t>(
      static_cast<std::int64_t>(top) + n, 0, std::numeric_limits<int>::max() - 1));
  // Lay out past the wanted line (and past one pane's worth): when the text
  // ends before that, its display line count is known and bounds the view.
  const int need = std::max(wanted, VisibleLines()) + 1;
  const int laid = LayOutLines(need);
  int target = wanted;
  if (laid < need) {
    const int lastTop = laid <= VisibleLines() ? 0 : laid - 1;
    target = std::min(target, lastTop);
  }
  if (target != top) verticalScrollBar()->setValue(target);
}

void TExMemo::ScrollPage(std::int16_t n) {
  ScrollLine(static_cast<int>(n) * VisibleLines());
}

bool TExMemo::FindString(std::string_view key, bool upperCase) {
  setFocus();
  if (SelStart() == lastFound_) {
    SetSelStart(SelStart() + static_cast<std::int64_t>(key.size()));
  }
  if (key.empty()) return false;  // an empty key matches nothing

  // From one byte before the caret, by the rule of every search: within a
  // line, whole characters only.
  const std::int64_t s = SelStart();
  const std::size_t from = s > 0 ? static_cast<std::size_t>(s - 1) : 0;
  const std::size_t at = KeyMatcher(std::string(key), upperCase).FindInLines(text_, from);
  if (at == KeyMatcher::npos) return false;

  SelectBytes(static_cast<std::int64_t>(at), static_cast<std::int64_t>(key.size()));
  ScrollLine(SelectLine() - TopLine() - VisibleLines() / 2);
  lastFound_ = SelStart();
  return true;
}

void TExMemo::BringToBeginning() {
  // The remark has just been appended with the caret after its last line.
  // The caret goes to byte 0 and the view to the first line; no empty line
  // is put above the text, so what is printed is exactly the remark.
  SelectBytes(0, 0);
  verticalScrollBar()->setValue(0);
}

// --- Look and events -----------------------------------------------------------

void TExMemo::SetTextColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::Text, color);
  setPalette(p);
}

void TExMemo::SetBackgroundColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::Base, color);
  p.setColor(QPalette::Window, color);  // the margin strip left of the text
  setPalette(p);
}

void TExMemo::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  emit contextMenuWanted(event->globalPos());
}

void TExMemo::mouseDoubleClickEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseDoubleClickEvent(event);
  emit doubleClicked();
}

void TExMemo::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  UpdateScrollRange();
}

void TExMemo::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  if (event->type() == QEvent::ReadOnlyChange && isReadOnly()) {
    // The base class makes a read-only text selectable by mouse only; this
    // pane keeps a caret that moves and selects with the keyboard, as a
    // read-only edit control does, however often it is set read-only.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }
  if (event->type() == QEvent::FontChange) {
    setTabStopDistance(8 * fontMetrics().horizontalAdvance(QLatin1Char(' ')));
    UpdateScrollRange();
  }
}

}  // namespace kest
