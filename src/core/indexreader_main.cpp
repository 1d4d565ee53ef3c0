// vellomar-index: reads an index.dat from standard input and writes its records to standard
// output, for CacheRecords::read. A process of its own, so that whatever the library does with
// a damaged file costs only this process, within its limits.
#include "cacherecords.h"

#include <cstdio>
#include <unistd.h>

int main()
{
    QByteArray in;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n <= 0)
            break;
        in.append(buffer, n);
        if (in.size() > (qsizetype(256) << 20))
            return 1;
    }
    const QByteArray out = vellomar::CacheRecords::parse(std::move(in)).serialize();
    for (qsizetype done = 0; done < out.size();) {
        const ssize_t n = ::write(1, out.constData() + done, size_t(out.size() - done));
        if (n <= 0)
            return 1;
        done += n;
    }
    return 0;
}
