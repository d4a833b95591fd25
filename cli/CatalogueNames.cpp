#include "CatalogueNames.h"

#include "conf_core/NameMatch.h"

#include <algorithm>
#include <vector>

namespace {

QByteArray asciiUpper(QByteArrayView text)
{
    QByteArray upper = text.toByteArray();
    for (char &c : upper)
        c = AsciiUpper(c);
    return upper;
}

// Levenshtein distance, one row at a time; the catalogue name is short, so
// this is linear in the typed name.
qsizetype editDistance(QByteArrayView typed, QByteArrayView name)
{
    std::vector<qsizetype> row(size_t(name.size()) + 1);
    for (qsizetype j = 0; j <= name.size(); ++j)
        row[size_t(j)] = j;
    for (qsizetype i = 1; i <= typed.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= name.size(); ++j) {
            const qsizetype above = row[size_t(j)];
            const qsizetype substitution = diagonal + (typed[i - 1] == name[j - 1] ? 0 : 1);
            row[size_t(j)] = std::min({above + 1, row[size_t(j - 1)] + 1, substitution});
            diagonal = above;
        }
    }
    return row.back();
}

}  // namespace

const ParamEntry *CatalogueEntry(QByteArrayView name)
{
    for (const ParamEntry &entry : ParamCatalogue)
        if (NamesMatch(entry.Name, name))
            return &entry;
    return nullptr;
}

QList<QByteArray> ClosestCatalogueNames(QByteArrayView name)
{
    const QByteArray typed = asciiUpper(name);
    struct Candidate {
        qsizetype distance;
        const char *name;
    };
    std::vector<Candidate> candidates;
    for (const ParamEntry &entry : ParamCatalogue) {
        const QByteArray folded = asciiUpper(entry.Name);
        const qsizetype allowed = std::max<qsizetype>(2, folded.size() / 4);
        const bool contained = typed.size() >= 3 && folded.contains(typed);
        // The distance is at least the difference in length, which rules out
        // a long typed name without comparing it.
        if (!contained && std::abs(typed.size() - folded.size()) > allowed)
            continue;
        const qsizetype distance = editDistance(typed, folded);
        if (contained || distance <= allowed)
            candidates.push_back({distance, entry.Name});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate &a, const Candidate &b) { return a.distance < b.distance; });
    QList<QByteArray> names;
    for (size_t i = 0; i < candidates.size() && i < 3; ++i)
        names.append(candidates[i].name);
    return names;
}
