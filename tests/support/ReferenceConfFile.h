#pragma once
// The configuration file's rules in the plainest code, for tests and the
// fuzzer to hold the document against: lines end at LF, CR LF or a lone CR;
// outside "#" lines every run of blanks next to an "=" goes; a save writes
// every line and an LF. A name matches the first key equal to it ignoring
// ASCII letter case, which is how the C locale sees it.

#include <QByteArray>
#include <QList>

using ReferenceLines = QList<QByteArray>;

inline QByteArray referenceNormalised(const QByteArray &line)
{
    if (line.startsWith('#'))
        return line;
    QByteArray result;
    for (qsizetype at = 0; at < line.size();) {
        qsizetype end = at;
        while (end < line.size() && line[end] == ' ')
            ++end;
        if (end == at) {
            result += line[at++];
            continue;
        }
        const bool nextToEquals = (at > 0 && line[at - 1] == '=') || (end < line.size() && line[end] == '=');
        if (!nextToEquals)
            result += line.mid(at, end - at);
        at = end;
    }
    return result;
}

inline ReferenceLines referenceLines(const QByteArray &bytes)
{
    ReferenceLines lines;
    QByteArray line;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        if (bytes[at] != '\n' && bytes[at] != '\r') {
            line += bytes[at];
            continue;
        }
        if (bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n')
            ++at;
        lines.append(referenceNormalised(line));
        line.clear();
    }
    if (!line.isEmpty())
        lines.append(referenceNormalised(line));
    return lines;
}

inline QByteArray referenceSaved(const ReferenceLines &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + '\n';
    return text;
}

inline bool referenceKeyMatches(const QByteArray &line, const QByteArray &name)
{
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
    const qsizetype equals = line.indexOf('=');
    if (equals != name.size())
        return false;
    for (qsizetype i = 0; i < equals; ++i)
        if (upper(line[i]) != upper(name[i]))
            return false;
    return true;
}

// SetConfValue on the lines; `matches(line, name)` tells the line to set.
template <typename Matches = bool (*)(const QByteArray &, const QByteArray &)>
void referenceSet(ReferenceLines &lines, const QByteArray &name, const QByteArray &value,
                  Matches matches = referenceKeyMatches)
{
    qsizetype found = 0;
    while (found < lines.size() && !matches(lines[found], name))
        ++found;
    if (value.isEmpty()) {
        if (found < lines.size())
            lines.removeAt(found);
    } else if (found < lines.size()) {
        lines[found] = name + '=' + value;
    } else {
        lines.append(name + '=' + value);
    }
}
