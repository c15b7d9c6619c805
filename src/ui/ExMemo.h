// TExMemo: the read-only text pane that shows a remark.
//
// The pane keeps the remark's Shift-JIS bytes next to the Unicode text it
// displays. Its logical content, `Text`, is the lines joined and ended by
// CR LF, and every caret and selection position the program works with is a
// byte offset into that Text. The widget translates between those byte
// offsets and positions in the Qt document.
//
// Line arithmetic counts display lines: with word wrap on, one text line may
// take several display lines, and `TopLine`, `ScrollLine` and the scroll
// range all count those. `SelectLine` alone counts hard lines (CR LF pairs).
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QPoint>
#include <QTextBlock>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

class TExMemo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TExMemo(QWidget* parent = nullptr);

  // --- Content -------------------------------------------------------------

  // Replaces the content with these lines (one document rebuild).
  // Equivalent to Clear() followed by AppendLine() for each line: the caret
  // ends after the last line.
  void SetLines(const std::vector<std::string>& sjisLines);
  // Appends one line (without its line end); the caret moves after it.
  void AppendLine(std::string_view sjis);
  // Empties the pane. LastFound is kept.
  void Clear();

  // The content as Shift-JIS bytes. Every line ends with CR LF, the last one
  // included, as in an edit control that had its lines appended one by one:
  // lines "a", "b" give "a\r\nb\r\n", and the byte offset Text().size() is
  // the start of the empty line after the last CR LF. An empty pane is "".
  const std::string& Text() const { return text_; }
  // Number of text lines appended (the empty line after the last CR LF is
  // not counted).
  int LineCount() const { return static_cast<int>(lines_.size()) - 1; }

  // The display lines as the pane currently wraps them, each wrapped piece a
  // line of its own; a last line that is empty is left out. Used for
  // printing.
  QStringList DisplayLines();

  // --- Caret and selection, in bytes of Text() -----------------------------

  // Start of the selection (the caret when nothing is selected).
  std::int64_t SelStart() const;
  // Collapses the selection to a caret at `pos` (clamped to 0..size).
  // Moving the caret does not scroll the view.
  void SetSelStart(std::int64_t pos);
  std::int64_t SelLength() const;
  // Selects `len` bytes from the selection start (clamped to the text).
  void SetSelLength(std::int64_t len);

  // Byte offset <-> document position. A byte offset inside a double-byte
  // character or between the CR and LF of a line end maps to the position
  // before that character (floor) or, with `roundUp`, after it. Any offset is
  // accepted; offsets outside the text are clamped.
  int PositionOfByte(std::int64_t byte, bool roundUp = false) const;
  std::int64_t ByteOfPosition(int position) const;

  // --- Line arithmetic -----------------------------------------------------

  // Index (from 0) of the first visible display line.
  int TopLine();
  // Scrolls so that display line `line` becomes the first visible one, as
  // far as the scroll bounds allow.
  void SetTopLine(int line);
  // Whole display lines that fit in the pane: viewport height divided by the
  // font's line spacing (height + leading), truncating.
  int VisibleLines() const;
  // Number of CR LF pairs in Text() before the selection start.
  int SelectLine() const;
  // Total number of display lines, the empty line after the last CR LF
  // included.
  int DisplayLineCount();

  // Scrolls the view by n display lines (n < 0: up) without moving the caret.
  // The view never goes above the first line, and goes down at most until the
  // last line stands at the top of the pane. When every display line fits in
  // the pane, the view does not move at all.
  void ScrollLine(int n);
  // Scrolls by n x VisibleLines() display lines.
  void ScrollPage(std::int16_t n);

  // Finds `key` (Shift-JIS bytes) from the caret on, selects it and scrolls
  // its line to the middle of the pane. The key matches as in every search
  // (KeyMatcher): within one line, whole characters only, so the selection
  // never holds half of a character. With `upperCase` only the text is
  // upper-cased (single-byte a-z); the caller passes an upper-cased key.
  bool FindString(std::string_view key, bool upperCase);
  // Selection start of the last successful FindString; 0 at creation.
  std::int64_t LastFound() const { return lastFound_; }

  // Caret to byte 0 and the first line at the top of the pane. Used after a
  // remark has been appended to the emptied pane; no empty line is put above
  // the text.
  void BringToBeginning();

  // --- Look ------------------------------------------------------------------

  void SetTextColor(const QColor& color);
  void SetBackgroundColor(const QColor& color);

 signals:
  void doubleClicked();
  // A right-click (or the context-menu key) in the pane: the window shows
  // its own menu at `globalPos`.
  void contextMenuWanted(QPoint globalPos);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // One text line: where it starts in Text() and in the document, and how
  // long it is in each. `plain` lines map one Shift-JIS character (one byte,
  // or a lead byte and the byte after it) to one QChar; the others are
  // re-segmented on demand.
  struct Line {
    std::int64_t byteStart = 0;
    int docStart = 0;
    int byteLen = 0;
    int charLen = 0;
    bool plain = true;
  };

  // The remembered byte selection, valid while the Qt cursor still stands
  // where it was put (so that offsets inside a character survive a round
  // trip).
  struct ByteSelection {
    std::int64_t start = 0;
    std::int64_t length = 0;
    int anchor = -1;
    int position = -1;
  };

  std::size_t LineOfByte(std::int64_t byte) const;
  std::size_t LineOfPosition(int position) const;
  std::string_view LineBytes(const Line& line) const;
  void SelectBytes(std::int64_t start, std::int64_t length);
  void ApplyCursor(int anchor, int position);
  void ResetContent();
  int LayOutLines(int lines);
  void LayOutThrough(const QTextBlock& last);
  void UpdateScrollRange();

  std::string text_;
  std::vector<Line> lines_;  // the text lines plus the empty line after them
  ByteSelection sel_;
  std::int64_t lastFound_ = 0;
};

}  // namespace kest
