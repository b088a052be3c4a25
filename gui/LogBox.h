// The on-screen log box: a plain, unwrapped, editable text box for up to a
// hundred thousand lines. A text document keeps a layout, a block and a
// fragment for every line, about 700 bytes a line beyond the text itself;
// this box keeps each line as its UTF-8 text and lays out only the lines on
// screen, so a full log costs about a tenth of that.
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>
#include <deque>
#include <string>
#include <vector>

namespace quorvel {

class TLogBox final : public QAbstractScrollArea {
 public:
  explicit TLogBox(QWidget* parent = nullptr);

  // Appends the text as new lines at the end (a line break in it starts
  // another line). Beyond the maximum, the oldest lines are dropped.
  void appendPlainText(const QString& text);
  // 0: no limit.
  void setMaximumBlockCount(int lines);
  int maximumBlockCount() const { return maxLines_; }
  // Lines held (an empty box has one empty line).
  int blockCount() const;
  QString toPlainText() const;

  bool isReadOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

  bool hasSelection() const { return anchor_ != caret_; }
  QString selectedText() const;
  void selectAll();
  void copy() const;
  void cut();
  void paste();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // A place in the text: line and UTF-16 column.
  struct TPos {
    int line = 0;
    int column = 0;
    bool operator==(const TPos& o) const { return line == o.line && column == o.column; }
    bool operator!=(const TPos& o) const { return !(*this == o); }
    bool operator<(const TPos& o) const {
      return line < o.line || (line == o.line && column < o.column);
    }
  };

  int LineCount() const { return static_cast<int>(lines_.size()); }
  QString Line(int line) const;
  void SetLine(int line, const QString& text);
  TPos Clamp(TPos p) const;
  TPos PosAt(QPoint viewportPoint) const;
  void MoveCaret(TPos p, bool keepAnchor);
  void EnsureCaretVisible();
  void InsertText(const QString& text);
  void RemoveSelection();
  void DropOldest();
  void Widen(const QString& line);
  void UpdateScrollBars();
  int VisibleLines() const;
  int LineHeight() const;
  static int TopOf(int firstShown);
  void RestartBlink();

  std::deque<std::string> lines_;
  int maxLines_ = 0;
  bool readOnly_ = false;
  TPos caret_, anchor_;
  int widest_ = 0;               // pixels of the widest line seen
  std::vector<qreal> advances_;  // of the Latin-1 characters in the font
  bool caretShown_ = false;
  QBasicTimer blink_;
};

}  // namespace quorvel
