#pragma once
// The receive log box as assistive tools see it: an editable multi-line text whose offsets run
// through the whole log with a line feed between lines.

// Qt
#include <QAccessibleWidget>

#include "LogStore.h"

class TLogView;

class TLogViewAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
public:
    explicit TLogViewAccessible(TLogView *view);

    // For QAccessible::installFactory.
    static QAccessibleInterface *Factory(const QString &className, QObject *object);

    // Whether assistive tools listen: the events below cost work only then.
    static bool Listening();
    // Tests record the events here: the toolkit passes them on only to a running screen reader's
    // bridge, which a test machine has not. Null gives them back to the toolkit.
    static void SetEventSinkForTests(QAccessible::UpdateHandler sink);

    // Tell assistive tools what changed; call only while Listening().
    static void CaretMoved(TLogView *view);
    static void Inserted(TLogView *view, TLogPosition from, TLogPosition to);
    static void Removed(TLogView *view, TLogPosition from, TLogPosition to);
    // All of the text went (call before it goes).
    static void Cleared(TLogView *view);
    // Lines from this one to the end were appended.
    static void Appended(TLogView *view, qsizetype firstLine);

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    void *interface_cast(QAccessible::InterfaceType t) override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                             int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                            int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    TLogView *View() const;
    int OffsetOf(TLogPosition p) const;
    TLogPosition PositionOf(int offset) const;
    // The unit of a kind (character, word, sentence, line) that holds the character at offset.
    void UnitAt(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const;
    void Select(int startOffset, int endOffset);
};
