#include "lineescape.h"

namespace vellomar {

QString lineescaped(const QString &field)
{
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace vellomar
