#include "registryhive.h"

#include <hivex.h>
#include <memory>
#include <sys/stat.h>

namespace vellomar {

namespace {

// A user's hive is a few megabytes; one far beyond that is not worth mapping.
constexpr off_t largesthive = off_t(512) << 20;

struct HiveCloser {
    void operator()(hive_h *h) const { hivex_close(h); }
};

QString stringvalue(hive_h *h, hive_node_h key, const char *name)
{
    const hive_value_h v = hivex_node_get_value(h, key, name);
    if (v == 0)
        return {};
    hive_type type;
    size_t len = 0;
    if (hivex_value_type(h, v, &type, &len) != 0 ||
        (type != hive_t_REG_SZ && type != hive_t_REG_EXPAND_SZ) || len > 64 * 1024)
        return {};
    // hivex turns the stored UTF-16 into UTF-8.
    std::unique_ptr<char, decltype(&free)> s(hivex_value_string(h, v), &free);
    return s ? QString::fromUtf8(s.get()) : QString();
}

} // namespace

QString hivecachefolder(int fd)
{
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > largesthive)
        return {};
    // hivex opens by name: the name of the file already open, so no link is followed on the way.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    std::unique_ptr<hive_h, HiveCloser> h(hivex_open(self.c_str(), 0));
    if (!h)
        return {};
    hive_node_h node = hivex_root(h.get());
    for (const char *step : {"Software", "Microsoft", "Windows", "CurrentVersion", "Explorer"}) {
        if (node == 0)
            return {};
        node = hivex_node_get_child(h.get(), node, step);
    }
    if (node == 0)
        return {};
    for (const char *key : {"User Shell Folders", "Shell Folders"}) {
        const hive_node_h folders = hivex_node_get_child(h.get(), node, key);
        if (folders == 0)
            continue;
        const QString value = stringvalue(h.get(), folders, "Cache");
        if (!value.isEmpty())
            return value;
    }
    return {};
}

} // namespace vellomar
