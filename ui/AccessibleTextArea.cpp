#include "AccessibleTextArea.h"

#include <QFontInfo>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

AccessibleTextArea::AccessibleTextArea(QPlainTextEdit *area) : QAccessibleWidget(area, QAccessible::EditableText) {}

QPlainTextEdit *AccessibleTextArea::area() const { return static_cast<QPlainTextEdit *>(widget()); }

void *AccessibleTextArea::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State AccessibleTextArea::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.multiLine = true;
    state.selectableText = true;
    state.readOnly = area()->isReadOnly();
    state.editable = !area()->isReadOnly();
    return state;
}

QString AccessibleTextArea::text(QAccessible::Text kind) const
{
    return kind == QAccessible::Value ? area()->toPlainText() : QAccessibleWidget::text(kind);
}

// Through the document, like typing, so that the change can be undone and
// counts as a modification that the aliases editor asks about.
void AccessibleTextArea::setText(QAccessible::Text kind, const QString &text)
{
    if (kind == QAccessible::Value)
        replaceText(0, characterCount(), text);
    else
        QAccessibleWidget::setText(kind, text);
}

QTextCursor AccessibleTextArea::cursorFor(int startOffset, int endOffset) const
{
    const int last = characterCount();
    QTextCursor cursor(area()->document());
    cursor.setPosition(std::clamp(startOffset, 0, last));
    cursor.setPosition(std::clamp(endOffset, 0, last), QTextCursor::KeepAnchor);
    return cursor;
}

void AccessibleTextArea::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    const QTextCursor cursor = area()->textCursor();
    const bool exists = selectionIndex == 0 && cursor.hasSelection();
    *startOffset = exists ? cursor.selectionStart() : 0;
    *endOffset = exists ? cursor.selectionEnd() : 0;
}

int AccessibleTextArea::selectionCount() const { return area()->textCursor().hasSelection() ? 1 : 0; }

void AccessibleTextArea::addSelection(int startOffset, int endOffset) { setSelection(0, startOffset, endOffset); }

void AccessibleTextArea::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        setCursorPosition(cursorPosition());
}

void AccessibleTextArea::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        area()->setTextCursor(cursorFor(startOffset, endOffset));
}

int AccessibleTextArea::cursorPosition() const { return area()->textCursor().position(); }

void AccessibleTextArea::setCursorPosition(int position) { area()->setTextCursor(cursorFor(position, position)); }

QString AccessibleTextArea::text(int startOffset, int endOffset) const
{
    return cursorFor(startOffset, endOffset).selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

QString AccessibleTextArea::textAround(const QTextCursor &cursor, QAccessible::TextBoundaryType boundaryType,
                                       int *startOffset, int *endOffset) const
{
    const QPair<int, int> bounds = QAccessible::qAccessibleTextBoundaryHelper(cursor, boundaryType);
    *startOffset = bounds.first;
    *endOffset = bounds.second;
    return text(bounds.first, bounds.second);
}

QString AccessibleTextArea::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                             int *endOffset) const
{
    const int start = QAccessible::qAccessibleTextBoundaryHelper(cursorFor(offset, offset), boundaryType).first;
    if (start == 0) {
        *startOffset = *endOffset = 0;
        return QString();
    }
    return textAround(cursorFor(start - 1, start - 1), boundaryType, startOffset, endOffset);
}

QString AccessibleTextArea::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                            int *endOffset) const
{
    const QPair<int, int> at = QAccessible::qAccessibleTextBoundaryHelper(cursorFor(offset, offset), boundaryType);
    // A line or paragraph ends before its line break, where the same one is
    // found again: the next begins after the break.
    int next = at.second;
    if (QAccessible::qAccessibleTextBoundaryHelper(cursorFor(next, next), boundaryType) == at)
        ++next;
    if (next >= characterCount()) {
        *startOffset = *endOffset = characterCount();
        return QString();
    }
    return textAround(cursorFor(next, next), boundaryType, startOffset, endOffset);
}

QString AccessibleTextArea::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                         int *endOffset) const
{
    return textAround(cursorFor(offset, offset), boundaryType, startOffset, endOffset);
}

// The document holds a paragraph end after the last line that is no character of the text.
int AccessibleTextArea::characterCount() const { return area()->document()->characterCount() - 1; }

QRect AccessibleTextArea::characterRect(int offset) const
{
    if (offset < 0 || offset > characterCount())
        return QRect();
    const QTextCursor cursor = cursorFor(offset, offset);
    // Asked first: it lays the paragraph out where that has not been done yet.
    const QRect caret = area()->cursorRect(cursor);
    const QTextBlock block = cursor.block();
    const int inBlock = offset - block.position();
    const QTextLine row = block.layout()->lineForTextPosition(inBlock);
    qreal advance = 0;
    if (row.isValid() && inBlock < row.textStart() + row.textLength())
        advance = row.cursorToX(inBlock + 1) - row.cursorToX(inBlock);
    // Right to left, the caret stands at the character's right edge.
    const QPoint topLeft(caret.x() + qRound(std::min(advance, qreal(0))), caret.y());
    const QSize size(std::max(1, qRound(std::abs(advance))), caret.height());
    return QRect(area()->viewport()->mapToGlobal(topLeft), size);
}

int AccessibleTextArea::offsetAtPoint(const QPoint &point) const
{
    const QPoint inViewport = area()->viewport()->mapFromGlobal(point);
    if (!area()->viewport()->rect().contains(inViewport))
        return -1;
    // The nearest caret position lies after the character when the point is
    // in its second half.
    const int nearest = area()->cursorForPosition(inViewport).position();
    for (const int offset : {nearest, nearest - 1}) {
        if (offset >= 0 && offset < characterCount() && characterRect(offset).contains(point))
            return offset;
    }
    return -1;
}

// Qt's bridge to the desktop's accessibility bus offers no call that reaches it.
void AccessibleTextArea::scrollToSubstring(int, int) {}

// The text area shows all its text in its one font.
QString AccessibleTextArea::attributes(int offset, int *startOffset, int *endOffset) const
{
    if (offset < 0 || offset > characterCount()) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    *startOffset = 0;
    *endOffset = characterCount();
    // The font as matched: the window font is given in pixels, which Qt's
    // own interface told as "-1pt".
    const QFontInfo font(area()->font());
    return QStringLiteral("font-family:\"%1\";font-size:%2pt;font-style:%3;font-weight:%4;")
        .arg(font.family(), QString::number(qRound(font.pointSizeF())),
             QLatin1String(font.style() == QFont::StyleItalic    ? "italic"
                           : font.style() == QFont::StyleOblique ? "oblique"
                                                                 : "normal"),
             QLatin1String(font.weight() > QFont::Normal ? "bold" : "normal"));
}

void AccessibleTextArea::deleteText(int startOffset, int endOffset) { replaceText(startOffset, endOffset, QString()); }

void AccessibleTextArea::insertText(int offset, const QString &text) { replaceText(offset, offset, text); }

void AccessibleTextArea::replaceText(int startOffset, int endOffset, const QString &text)
{
    if (area()->isReadOnly())
        return;
    QTextCursor cursor = cursorFor(startOffset, endOffset);
    cursor.insertText(text);
}
