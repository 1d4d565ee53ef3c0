#include "samplecache.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>

// vellomar-samplecache FOLDER: writes FOLDER/Content.IE5 and its cache folders.
// vellomar-samplecache --swf FILE: writes one small SWF movie.
int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--swf"))
        return vellomar::sample::writeswf(args[2]) ? 0 : 1;
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: vellomar-samplecache FOLDER\n");
        return 2;
    }
    QString error;
    if (!vellomar::sample::makesamplecache(args[1], &error)) {
        std::fprintf(stderr, "vellomar-samplecache: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
