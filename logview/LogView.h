#pragma once
// The receive log box: an editable multi-line text box over a line store, built for a log that
// the program appends to all the time. An append costs the same however long the log is; only
// the lines on screen are laid out and painted, at most once per repaint period while lines
// stream in. The scroll bar counts rows, as in any text box: lines off screen count by an
// estimate until they are laid out (see TRowMap).

#include <memory>
#include <unordered_map>

// Qt
#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>

#include "EditHistory.h"
#include "LogStore.h"
#include "RowMap.h"

class QMenu;
class TLineLayout;
class TLogViewAccessible;

class TLogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TLogView(QWidget *parent = nullptr);
    ~TLogView() override;

    // Appends text as new lines at the end (see TLogStore::Append).
    void AppendLine(const QString &text);
    // Appends the receive line of a block received at time, kept as what it is made of until it
    // is drawn or asked for (see TLogStore::AppendReceived).
    void AppendReceived(const QTime &time, const QByteArray &bytes, bool hex, int codePage = 0);
    // Takes over lines kept elsewhere until the box was made, in place of its own (none yet),
    // shown from the end as if they had been appended to it.
    void AdoptLines(TLogStore &&lines);
    // The lines, to read.
    const TLogStore &Lines() const { return FStore; }
    qsizetype lineCount() const { return FStore.LineCount(); }
    // A line's text, made when asked for, and its length without making it.
    QString line(qsizetype i) const { return FStore.Line(i); }
    qsizetype lineSize(qsizetype i) const { return FStore.LineSize(i); }
    QString toPlainText() const { return FStore.Text(); }
    qsizetype characterCount() const { return FStore.CharacterCount(); }
    // Empties the box: its lines, the edits to undo, caret and selection; text an input method is
    // composing stays.
    void Clear();
    // Replaces the first count lines by one line; caret and selection stay on their text.
    void ReplaceFront(qsizetype count, const QString &line);
    bool isReadOnly() const { return false; }

    // Shows every line appended so far now, instead of at the end of the repaint period.
    void ShowAppended();
    // Lines were appended that the box does not show yet.
    bool AppendsWaiting() const { return FAppendsWaiting; }

    // Caret and selection (the selection runs from the anchor to the caret).
    TLogPosition caret() const { return FCaret; }
    void setCaret(TLogPosition caret, bool keepAnchor = false);
    bool hasSelection() const { return FAnchor != FCaret; }
    QString selectedText() const;
    void selectAll();
    void copy();
    void cut();
    void paste();
    // Types text at the caret in place of the selection.
    void insertText(const QString &text);
    // The user's own edits, back and forth (appended lines are not edits).
    void undo();
    void redo();
    bool isUndoAvailable() const { return FHistory.CanUndo(); }
    bool isRedoAvailable() const { return FHistory.CanRedo(); }
    // Makes the font larger or smaller by range points (Ctrl+wheel does this).
    void zoomIn(int range = 1) { ZoomBy(range); }
    void zoomOut(int range = 1) { ZoomBy(-range); }

    // Text an input method is composing, shown at the caret but not part of the log yet.
    QString preeditText() const { return FPreedit; }

    // The first line on screen and how far (in pixels) it is scrolled out at the top.
    qsizetype firstVisibleLine() const { return FTop; }
    // The last line with a part on screen.
    qsizetype lastVisibleLine() const;
    int firstLineOffset() const { return FTopOffset; }
    // The box shows the end and keeps showing it as lines arrive.
    bool followsEnd() const { return FFollowEnd; }

signals:
    // The lines appended before now are shown (or about to be painted).
    void appendsShown();
    // The context menu is made: whoever owns the box may add entries of its own.
    void menuAboutToShow(QMenu *menu);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    friend class TLogViewAccessible;

    // Space left and right of the text, as a plain text box leaves it.
    static constexpr int Margin = 4;

    // The layout of a line at the current width, made when first needed and kept while the
    // line is near the screen.
    const TLineLayout &LayoutOf(qsizetype line) const;
    // Where a column of a line is in its layout: the caret's line shows the preedit text too.
    qsizetype ShownColumn(TLogPosition p) const;
    bool Composing(qsizetype line) const { return !FPreedit.isEmpty() && line == FCaret.line; }
    void DropLayoutOf(qsizetype line);
    int HeightOf(qsizetype line) const;
    int LineSpacing() const;
    int WrapWidth() const;
    // The rows a line of this many characters takes, guessed before it is laid out.
    int EstimatedRows(qsizetype characters) const;
    // The width or the font changed: every line counts by its estimate again.
    void DropLayouts();
    // Lines first to last were replaced by this many lines.
    void ReplaceLayouts(qsizetype first, qsizetype last, qsizetype lines);
    void DropLayoutsAwayFrom(qsizetype first, qsizetype last);

    // The scroll position at the end: the last line's bottom at the bottom of the viewport.
    void EndPosition(qsizetype &top, int &offset) const;
    // Scrolls to the bar's value, given in rows.
    void ScrollToRow(int value);
    void ScrollByPixels(int dy);
    void ScrollTo(qsizetype top, int offset);
    void SyncScrollBar();
    void ScheduleShow();
    void EnsureCaretVisible();

    // Content coordinates: the point in the viewport to a position, and back.
    TLogPosition PositionAt(const QPoint &point) const;
    QRect CaretRect() const { return CaretRectOf(FCaret); }
    // The caret's rectangle at a position, in the viewport; empty above the screen.
    QRect CaretRectOf(TLogPosition p) const;
    TLogPosition MovedCaret(int key, bool word) const;
    TLogPosition VisualLineMove(TLogPosition from, int rows, qreal x) const;
    TLogPosition WordStart(TLogPosition p) const;
    TLogPosition WordEnd(TLogPosition p) const;
    // The user puts text in place of the selection: recorded to be undone, then shown.
    void Edit(const QString &text, TEditHistory::Kind kind);
    // Puts text in place of from..to; returns where it ends.
    TLogPosition ReplaceRange(TLogPosition from, TLogPosition to, const QString &text);
    // Applies a step of the history; returns the step that reverses it.
    TEditStep Apply(const TEditStep &step);
    void Edited();
    void DragTo(const QPoint &point);
    // Moves the caret end of a drag's selection to a point: by whole lines after a triple click.
    void DragSelect(const QPoint &point);
    void ZoomBy(qreal points);
    // Offers the selection as the X11 primary selection, where there is one.
    void SetPrimarySelection();
    QMenu *ContextMenu();

    TLogStore FStore;
    mutable std::unordered_map<qsizetype, std::unique_ptr<TLineLayout>> FLayouts;
    // Rows of every line: laid out ones exactly.
    mutable TRowMap FRows;
    // What the estimates are made for: the wrap width, and characters per row at it.
    int FEstimateWidth = -1;
    qsizetype FCharsPerRow = 1;
    TLogPosition FCaret;
    TLogPosition FAnchor;
    qsizetype FTop = 0;
    int FTopOffset = 0;
    bool FFollowEnd = true;
    bool FAppendsWaiting = false;
    TEditHistory FHistory;
    // Lines trimmed from the front, less the notes put in their place: a line's number in the
    // history is its number here plus this.
    qint64 FLineBase = 0;
    // Lines assistive tools know of; the rest were appended since.
    qsizetype FAnnouncedLines = 0;
    bool FSyncingBar = false;
    // The bar's value as last set: a step from it moves the view by as many rows.
    int FBarValue = 0;
    bool FDragging = false;
    bool FCaretOn = true;
    // The x that Up and Down keep to across shorter rows; below zero when not set.
    qreal FGoalX = -1;
    QString FPreedit;
    qsizetype FPreeditCursor = 0;
    bool FPreeditCursorShown = true;
    QPoint FDragPoint;
    // Where and when the last double click was: a press soon after near it is a triple click.
    QPoint FDoubleClickPoint;
    quint64 FDoubleClickTime = 0;
    bool FDoubleClicked = false;
    // A drag after a triple click selects whole lines from this one.
    qsizetype FLineAnchor = -1;
    QBasicTimer FShowTimer;
    QBasicTimer FDragScroll;
    QBasicTimer FBlink;
    QElapsedTimer FLastShow;
};
