#pragma once
// What screen readers and magnifiers read from a multi-line text area: its
// text, caret, selection and where each character stands on the screen.
// Qt's own interface measures each paragraph from its own top and so puts
// every line of a text area with one paragraph per line on the first; here a
// character's box is the one the text area draws it in, wrapped rows and
// scrolling included.

#include <QAccessibleWidget>

class QPlainTextEdit;
class QTextCursor;

class AccessibleTextArea : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
public:
    explicit AccessibleTextArea(QPlainTextEdit *area);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text kind) const override;
    void setText(QAccessible::Text kind, const QString &text) override;

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
    // In screen coordinates; where no character follows (a line's or the
    // text's end), the caret's box, one pixel wide.
    QRect characterRect(int offset) const override;
    // -1 where the point is over no character.
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // Refused while the text area is read-only, as typing would be.
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    QPlainTextEdit *area() const;
    // Offsets out of range are clamped: callers are other programs.
    QTextCursor cursorFor(int startOffset, int endOffset) const;
    // The text between the boundaries around the cursor's position.
    QString textAround(const QTextCursor &cursor, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                       int *endOffset) const;
};
