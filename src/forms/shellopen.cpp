#include "shellopen.h"

#include "housekeeping.h"
#include "seams.h"

#include <QObject>
#include <QPointer>

namespace vellomar {

void shellopen(QObject *context, const Seams &seams, const QString &path)
{
    // The opener answers later; the window may be gone by then.
    const QPointer<QObject> alive(context);
    Dialogs *dialogs = &seams.dialogs();
    seams.launcher().open(path, [alive, dialogs, path](bool ok) {
        if (!ok && alive)
            dialogs->inform(openfailedtext(path));
    });
}

} // namespace vellomar
