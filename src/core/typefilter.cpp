#include "typefilter.h"

#include <QStringTokenizer>

namespace vellomar {
namespace {

bool sameletter(QChar a, QChar b)
{
    if (a == b)
        return true;
    // Two ASCII letters fold as they lower; the full folding is for the rest (a Kelvin sign
    // is a "k").
    if (a.unicode() < 0x80 && b.unicode() < 0x80)
        return (a.unicode() | 0x20) == (b.unicode() | 0x20) && (a.unicode() | 0x20) >= u'a' &&
               (a.unicode() | 0x20) <= u'z';
    return a.toCaseFolded() == b.toCaseFolded();
}

// Iterative glob with backtracking to the last "*": linear in practice, never recursive.
bool glob(QStringView name, QStringView mask)
{
    qsizetype n = 0, m = 0, starm = -1, starn = 0;
    while (n < name.size()) {
        if (m < mask.size() &&
            (mask[m] == u'?' || (mask[m] != u'*' && sameletter(mask[m], name[n])))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == u'*') {
            starm = m++;
            starn = n;
        } else if (starm >= 0) {
            m = starm + 1;
            n = ++starn;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

} // namespace

bool matchesmask(QStringView name, QStringView mask)
{
    if (mask.isEmpty())
        return false;
    if (glob(name, mask))
        return true;
    // Windows reads "stem.*" as "stem, with or without an extension".
    if (mask.endsWith(u".*") && !name.contains(u'.'))
        return glob(name, mask.first(mask.size() - 2));
    return false;
}

bool matchespattern(QStringView name, QStringView pattern)
{
    // Tokenized in place: this runs once for every name of a folder listed.
    for (QStringView mask : pattern.tokenize(u';')) {
        if (matchesmask(name, mask.trimmed()))
            return true;
    }
    return false;
}

} // namespace vellomar
