#include "LogBox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

// Space around the text, as a text document leaves it.
constexpr int kMargin = 4;

bool IsWordChar(QChar c) {
  return c.isLetterOrNumber() || c == QLatin1Char('_');
}

}  // namespace

TLogBox::TLogBox(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  horizontalScrollBar()->setSingleStep(20);
  verticalScrollBar()->setSingleStep(1);
  UpdateScrollBars();
}

QString TLogBox::Line(int line) const {
  const std::string& s = lines_[static_cast<std::size_t>(line)];
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

void TLogBox::SetLine(int line, const QString& text) {
  lines_[static_cast<std::size_t>(line)] = text.toStdString();
  Widen(text);
}

int TLogBox::blockCount() const {
  return std::max(1, LineCount());
}

QString TLogBox::toPlainText() const {
  std::string all;
  std::size_t size = 0;
  for (const std::string& l : lines_) size += l.size() + 1;
  all.reserve(size);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) all += '\n';
    all += lines_[i];
  }
  return QString::fromStdString(all);
}

void TLogBox::Widen(const QString& line) {
  // Shaping every appended line would cost more than the rest of the box:
  // a sum of cached advances is close enough for a scroll range, except for
  // characters beyond Latin-1, which are measured.
  if (advances_.empty()) {
    const QFontMetricsF fm(font());
    advances_.resize(256);
    for (int c = 0; c < 256; ++c)
      advances_[static_cast<std::size_t>(c)] = fm.horizontalAdvance(QChar(c));
  }
  qreal width = 0;
  for (const QChar c : line) {
    if (c.unicode() > 255) {
      width = QFontMetricsF(font()).horizontalAdvance(line);
      break;
    }
    width += advances_[c.unicode()];
  }
  const int pixels = static_cast<int>(std::ceil(width));
  if (pixels > widest_) {
    widest_ = pixels;
    UpdateScrollBars();
  }
}

void TLogBox::appendPlainText(const QString& text) {
  const QStringList parts = text.split(QLatin1Char('\n'));
  for (const QString& part : parts) {
    lines_.push_back(part.toStdString());
    Widen(part);
  }
  DropOldest();
  UpdateScrollBars();
  viewport()->update();
}

void TLogBox::setMaximumBlockCount(int lines) {
  maxLines_ = std::max(0, lines);
  DropOldest();
  UpdateScrollBars();
  viewport()->update();
}

void TLogBox::DropOldest() {
  if (maxLines_ <= 0 || LineCount() <= maxLines_) return;
  const int drop = LineCount() - maxLines_;
  lines_.erase(lines_.begin(), lines_.begin() + drop);
  // A dropped line takes the caret and the selection's end on it along: they
  // go to the start of the oldest line kept.
  for (TPos* p : {&caret_, &anchor_}) {
    p->line -= drop;
    if (p->line < 0) *p = TPos{};
  }
}

int TLogBox::LineHeight() const {
  // A text layout's line: ascent, descent and leading, rounded up.
  const QFontMetricsF fm(font());
  return std::max(1, static_cast<int>(
                         std::ceil(fm.ascent() + fm.descent() + std::max<qreal>(0, fm.leading()))));
}

int TLogBox::TopOf(int firstShown) {
  // The margin lies above the first line only: scrolled down, the top line
  // starts at the top edge.
  return firstShown == 0 ? kMargin : 0;
}

int TLogBox::VisibleLines() const {
  const int lineHeight = LineHeight();
  // Whole lines between the margins, as a plain text box counts them.
  return std::max(1, (viewport()->height() - 2 * kMargin - 1) / lineHeight);
}

void TLogBox::UpdateScrollBars() {
  QScrollBar* v = verticalScrollBar();
  const int page = VisibleLines();
  v->setPageStep(std::min(page, std::max(1, LineCount())));
  v->setRange(0, std::max(0, LineCount() - page));
  QScrollBar* h = horizontalScrollBar();
  h->setPageStep(viewport()->width());
  h->setRange(0, std::max(0, widest_ + 2 * kMargin - viewport()->width()));
}

void TLogBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TLogBox::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    advances_.clear();
    widest_ = 0;
    for (int i = 0; i < LineCount(); ++i) Widen(Line(i));
    UpdateScrollBars();
  }
}

void TLogBox::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QFontMetricsF fm(font());
  const int lineHeight = LineHeight();
  const int first = verticalScrollBar()->value();
  const int x0 = kMargin - horizontalScrollBar()->value();
  const QPalette& pal = palette();
  TPos from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
  const int shown = viewport()->height() / lineHeight + 2;
  for (int i = 0; i < shown && first + i < LineCount(); ++i) {
    const int line = first + i;
    const QString text = Line(line);
    const int top = TopOf(first) + i * lineHeight;
    painter.setPen(pal.color(QPalette::Text));
    painter.drawText(QPointF(x0, top + fm.ascent()), text);
    if (from != to && line >= from.line && line <= to.line) {
      const int start = line == from.line ? from.column : 0;
      const int end = line == to.line ? to.column : static_cast<int>(text.size());
      const qreal left = x0 + fm.horizontalAdvance(text.left(start));
      qreal right = x0 + fm.horizontalAdvance(text.left(end));
      if (line != to.line) right += fm.horizontalAdvance(QLatin1Char(' '));  // the line break
      const QRectF band(left, top, right - left, lineHeight);
      painter.fillRect(band, pal.brush(QPalette::Highlight));
      painter.save();
      painter.setClipRect(band);
      painter.setPen(pal.color(QPalette::HighlightedText));
      painter.drawText(QPointF(x0, top + fm.ascent()), text);
      painter.restore();
    }
  }
  if (caretShown_ && hasFocus() && caret_.line >= first && caret_.line < first + shown &&
      caret_.line < LineCount()) {
    const int top = TopOf(first) + (caret_.line - first) * lineHeight;
    const qreal x = x0 + fm.horizontalAdvance(Line(caret_.line).left(caret_.column));
    painter.fillRect(QRectF(x, top, 1, lineHeight), pal.color(QPalette::Text));
  }
}

TLogBox::TPos TLogBox::Clamp(TPos p) const {
  if (lines_.empty()) return TPos{};
  p.line = std::clamp(p.line, 0, LineCount() - 1);
  p.column = std::clamp(p.column, 0, static_cast<int>(Line(p.line).size()));
  return p;
}

TLogBox::TPos TLogBox::PosAt(QPoint point) const {
  if (lines_.empty()) return TPos{};
  const int lineHeight = LineHeight();
  TPos p;
  p.line = verticalScrollBar()->value() +
           static_cast<int>(std::floor(
               static_cast<double>(point.y() - TopOf(verticalScrollBar()->value())) / lineHeight));
  p.line = std::clamp(p.line, 0, LineCount() - 1);
  const QString text = Line(p.line);
  const QFontMetricsF fm(font());
  const qreal x = point.x() - kMargin + horizontalScrollBar()->value();
  // The nearest character boundary.
  qreal previous = 0;
  p.column = static_cast<int>(text.size());
  for (int c = 1; c <= text.size(); ++c) {
    const qreal edge = fm.horizontalAdvance(text.left(c));
    if (x < (previous + edge) / 2) {
      p.column = c - 1;
      break;
    }
    previous = edge;
  }
  return p;
}

void TLogBox::RestartBlink() {
  caretShown_ = true;
  const int flash = QApplication::cursorFlashTime();
  if (flash > 0)
    blink_.start(flash / 2, this);
  else
    blink_.stop();
}

void TLogBox::timerEvent(QTimerEvent* event) {
  if (event->timerId() != blink_.timerId()) {
    QAbstractScrollArea::timerEvent(event);
    return;
  }
  caretShown_ = !caretShown_;
  viewport()->update();
}

void TLogBox::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  RestartBlink();
  viewport()->update();
}

void TLogBox::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blink_.stop();
  caretShown_ = false;
  viewport()->update();
}

void TLogBox::MoveCaret(TPos p, bool keepAnchor) {
  caret_ = Clamp(p);
  if (!keepAnchor) anchor_ = caret_;
  RestartBlink();
  EnsureCaretVisible();
  viewport()->update();
}

void TLogBox::EnsureCaretVisible() {
  QScrollBar* v = verticalScrollBar();
  if (caret_.line < v->value()) v->setValue(caret_.line);
  if (caret_.line >= v->value() + VisibleLines()) v->setValue(caret_.line - VisibleLines() + 1);
  if (lines_.empty()) return;
  QScrollBar* h = horizontalScrollBar();
  const int x = static_cast<int>(QFontMetricsF(font()).horizontalAdvance(
                    Line(caret_.line).left(caret_.column))) +
                kMargin;
  if (x < h->value()) h->setValue(std::max(0, x - kMargin));
  if (x > h->value() + viewport()->width() - kMargin)
    h->setValue(x - viewport()->width() + 2 * kMargin);
}

QString TLogBox::selectedText() const {
  if (!hasSelection()) return QString();
  const TPos from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
  QString out;
  for (int line = from.line; line <= to.line; ++line) {
    const QString text = Line(line);
    const int start = line == from.line ? from.column : 0;
    const int end = line == to.line ? to.column : static_cast<int>(text.size());
    if (line > from.line) out += QLatin1Char('\n');
    out += text.mid(start, end - start);
  }
  return out;
}

void TLogBox::selectAll() {
  if (lines_.empty()) return;
  anchor_ = TPos{};
  caret_ = TPos{LineCount() - 1, static_cast<int>(Line(LineCount() - 1).size())};
  viewport()->update();
}

void TLogBox::copy() const {
  if (hasSelection()) QApplication::clipboard()->setText(selectedText());
}

void TLogBox::RemoveSelection() {
  if (!hasSelection()) return;
  const TPos from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
  const QString head = Line(from.line).left(from.column);
  const QString tail = Line(to.line).mid(to.column);
  lines_.erase(lines_.begin() + from.line + 1, lines_.begin() + to.line + 1);
  SetLine(from.line, head + tail);
  caret_ = anchor_ = from;
}

void TLogBox::InsertText(const QString& text) {
  if (readOnly_) return;
  if (lines_.empty()) lines_.emplace_back();
  RemoveSelection();
  const QString line = Line(caret_.line);
  const QString head = line.left(caret_.column), tail = line.mid(caret_.column);
  QStringList parts = text.split(QLatin1Char('\n'));
  parts.first().prepend(head);
  const int last = static_cast<int>(parts.size()) - 1;
  const int column = static_cast<int>(parts.last().size());
  parts.last().append(tail);
  SetLine(caret_.line, parts.first());
  for (int i = 1; i <= last; ++i) {
    lines_.insert(lines_.begin() + caret_.line + i, parts[i].toStdString());
    Widen(parts[i]);
  }
  TPos p{caret_.line + last, column};
  const int before = LineCount();
  DropOldest();
  p.line -= before - LineCount();
  UpdateScrollBars();
  MoveCaret(p, false);
}

void TLogBox::cut() {
  if (readOnly_ || !hasSelection()) return;
  copy();
  RemoveSelection();
  UpdateScrollBars();
  MoveCaret(caret_, false);
}

void TLogBox::paste() {
  QString text = QApplication::clipboard()->text();
  text.remove(QLatin1Char('\r'));
  if (!text.isEmpty()) InsertText(text);
}

void TLogBox::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::Copy) return copy();
  if (event == QKeySequence::SelectAll) return selectAll();
  if (event == QKeySequence::Cut) return cut();
  if (event == QKeySequence::Paste) return paste();
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  TPos p = caret_;
  const int length = lines_.empty() ? 0 : static_cast<int>(Line(p.line).size());
  switch (event->key()) {
    case Qt::Key_Left:
      if (p.column > 0)
        --p.column;
      else if (p.line > 0)
        p = TPos{p.line - 1, static_cast<int>(Line(p.line - 1).size())};
      return MoveCaret(p, shift);
    case Qt::Key_Right:
      if (p.column < length)
        ++p.column;
      else if (p.line + 1 < LineCount())
        p = TPos{p.line + 1, 0};
      return MoveCaret(p, shift);
    case Qt::Key_Up:
      return MoveCaret(TPos{p.line - 1, p.column}, shift);
    case Qt::Key_Down:
      return MoveCaret(TPos{p.line + 1, p.column}, shift);
    case Qt::Key_PageUp:
      return MoveCaret(TPos{p.line - VisibleLines(), p.column}, shift);
    case Qt::Key_PageDown:
      return MoveCaret(TPos{p.line + VisibleLines(), p.column}, shift);
    case Qt::Key_Home:
      return MoveCaret(ctrl ? TPos{} : TPos{p.line, 0}, shift);
    case Qt::Key_End:
      return MoveCaret(ctrl ? TPos{LineCount() - 1, 1 << 30} : TPos{p.line, length}, shift);
    case Qt::Key_Backspace:
      if (readOnly_ || lines_.empty()) return;
      if (!hasSelection()) {
        if (p.column > 0)
          anchor_ = TPos{p.line, p.column - 1};
        else if (p.line > 0)
          anchor_ = TPos{p.line - 1, static_cast<int>(Line(p.line - 1).size())};
      }
      RemoveSelection();
      UpdateScrollBars();
      return MoveCaret(caret_, false);
    case Qt::Key_Delete:
      if (readOnly_ || lines_.empty()) return;
      if (!hasSelection()) {
        if (p.column < length)
          anchor_ = TPos{p.line, p.column + 1};
        else if (p.line + 1 < LineCount())
          anchor_ = TPos{p.line + 1, 0};
      }
      RemoveSelection();
      UpdateScrollBars();
      return MoveCaret(caret_, false);
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return InsertText(QStringLiteral("\n"));
    default:
      break;
  }
  const QString text = event->text();
  if (!text.isEmpty() && !ctrl && text.at(0).isPrint()) return InsertText(text);
  QAbstractScrollArea::keyPressEvent(event);
}

void TLogBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  MoveCaret(PosAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void TLogBox::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) MoveCaret(PosAt(event->position().toPoint()), true);
}

void TLogBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || lines_.empty()) return;
  // The word under the pointer.
  const TPos p = PosAt(event->position().toPoint());
  const QString text = Line(p.line);
  int start = p.column, end = p.column;
  while (start > 0 && IsWordChar(text.at(start - 1))) --start;
  while (end < text.size() && IsWordChar(text.at(end))) ++end;
  anchor_ = TPos{p.line, start};
  MoveCaret(TPos{p.line, end}, true);
}

void TLogBox::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* cutAction = menu.addAction(tr("Cu&t"), this, [this] { cut(); });
  cutAction->setEnabled(!readOnly_ && hasSelection());
  menu.addAction(tr("&Copy"), this, [this] { copy(); })->setEnabled(hasSelection());
  menu.addAction(tr("&Paste"), this, [this] { paste(); })
      ->setEnabled(!readOnly_ && !QApplication::clipboard()->text().isEmpty());
  menu.addSeparator();
  menu.addAction(tr("Select All"), this, [this] { selectAll(); })->setEnabled(!lines_.empty());
  menu.exec(event->globalPos());
}

}  // namespace quorvel
