#include "UnifiedDiff.h"

#include <algorithm>
#include <vector>

namespace {

constexpr qsizetype Context = 3;

// Lines with their LF; the last one lacks it when the text does not end with one.
std::vector<QByteArrayView> splitLines(QByteArrayView text)
{
    std::vector<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype lf = text.indexOf('\n', start);
        const qsizetype end = lf < 0 ? text.size() : lf + 1;
        lines.push_back(text.sliced(start, end - start));
        start = end;
    }
    return lines;
}

// Lines [oldBegin, oldEnd) of the old text became [newBegin, newEnd) of the new.
struct Change {
    qsizetype oldBegin, oldEnd, newBegin, newEnd;
};

std::vector<Change> findChanges(const std::vector<QByteArrayView> &a, const std::vector<QByteArrayView> &b)
{
    qsizetype aEnd = qsizetype(a.size());
    qsizetype bEnd = qsizetype(b.size());
    while (aEnd > 0 && bEnd > 0 && a[size_t(aEnd - 1)] == b[size_t(bEnd - 1)])
        --aEnd, --bEnd;
    std::vector<Change> changes;
    qsizetype i = 0;
    qsizetype j = 0;
    auto same = [&](qsizetype x, qsizetype y) { return x < aEnd && y < bEnd && a[size_t(x)] == b[size_t(y)]; };
    while (i < aEnd || j < bEnd) {
        if (same(i, j)) {
            ++i, ++j;
            continue;
        }
        Change change{i, i, j, j};
        while ((i < aEnd || j < bEnd) && !same(i, j)) {
            if (j >= bEnd || same(i + 1, j))
                ++i;  // an old line removed
            else if (i >= aEnd || same(i, j + 1))
                ++j;  // a new line added
            else
                ++i, ++j;  // a line changed
        }
        change.oldEnd = i;
        change.newEnd = j;
        changes.push_back(change);
    }
    return changes;
}

// "-3,2": the first line and the count; a count of 1 is left out, and an
// empty range names the line before it, as diff -u writes them.
QByteArray range(char sign, qsizetype begin, qsizetype count)
{
    QByteArray text = sign + QByteArray::number(count ? begin + 1 : begin);
    if (count != 1)
        text += ',' + QByteArray::number(count);
    return text;
}

void appendLine(QByteArray &out, char sign, QByteArrayView line)
{
    out += sign;
    out += line;
    if (!line.endsWith('\n'))
        out += "\n\\ No newline at end of file\n";
}

}  // namespace

QByteArray UnifiedDiff(QByteArrayView label, QByteArrayView oldText, QByteArrayView newText)
{
    if (oldText == newText)
        return QByteArray();
    const std::vector<QByteArrayView> a = splitLines(oldText);
    const std::vector<QByteArrayView> b = splitLines(newText);
    const std::vector<Change> changes = findChanges(a, b);

    QByteArray out = "--- " + label.toByteArray() + "\n+++ " + label.toByteArray() + "\n";
    for (size_t first = 0; first < changes.size();) {
        // A hunk takes the changes whose context would touch or overlap.
        size_t last = first;
        while (last + 1 < changes.size() && changes[last + 1].oldBegin - changes[last].oldEnd <= 2 * Context)
            ++last;
        const qsizetype before = std::min(Context, changes[first].oldBegin);
        const qsizetype after = std::min(Context, qsizetype(a.size()) - changes[last].oldEnd);
        const qsizetype oldBegin = changes[first].oldBegin - before;
        const qsizetype newBegin = changes[first].newBegin - before;
        const qsizetype oldCount = changes[last].oldEnd + after - oldBegin;
        const qsizetype newCount = changes[last].newEnd + after - newBegin;
        out += "@@ " + range('-', oldBegin, oldCount) + ' ' + range('+', newBegin, newCount) + " @@\n";
        qsizetype i = oldBegin;
        for (size_t c = first; c <= last; ++c) {
            for (; i < changes[c].oldBegin; ++i)
                appendLine(out, ' ', a[size_t(i)]);
            for (; i < changes[c].oldEnd; ++i)
                appendLine(out, '-', a[size_t(i)]);
            for (qsizetype j = changes[c].newBegin; j < changes[c].newEnd; ++j)
                appendLine(out, '+', b[size_t(j)]);
        }
        for (; i < oldBegin + oldCount; ++i)
            appendLine(out, ' ', a[size_t(i)]);
        first = last + 1;
    }
    return out;
}
