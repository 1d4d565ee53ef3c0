// Telling a folder's cache by its contents: the input's files are written to a folder of their
// own (discovery reads a real folder through its descriptor), which is then told.

#include "browsercache.h"
#include "fuzzinput.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t mostbytes = 1 << 16; // a header is all that is read

int removeone(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

// The folder's path, kept in a plain buffer: it outlives every destructor run at exit, where
// it is removed.
const char *folder()
{
    static char made[64] = "";
    if (!made[0]) {
        std::strcpy(made, "/dev/shm/fuzz_browsercache-XXXXXX");
        if (!::mkdtemp(made)) {
            std::strcpy(made, "/tmp/fuzz_browsercache-XXXXXX");
            if (!::mkdtemp(made))
                made[0] = '\0';
        }
    }
    return made;
}

void removefolder()
{
    if (folder()[0])
        ::nftw(folder(), removeone, 16, FTW_DEPTH | FTW_PHYS);
}

// Below the fuzz folder only: no absolute path, no "." or ".." part, no empty part.
bool safepath(const std::string &p)
{
    if (p.empty() || p.front() == '/' || p.size() > 200)
        return false;
    size_t start = 0;
    while (start <= p.size()) {
        const size_t end = std::min(p.find('/', start), p.size());
        const std::string part = p.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string::npos)
            return false;
        start = end + 1;
    }
    return true;
}

void write(const std::string &root, const std::string &path, const char *bytes, size_t n)
{
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        ::mkdir((root + "/" + path.substr(0, slash)).c_str(), 0755);
    const int fd = ::open((root + "/" + path).c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (::write(fd, bytes, n) < 0) {
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool cleaned = std::atexit(removefolder) == 0;
    (void)cleaned;
    const std::string root = folder();
    if (root.empty())
        return 0;
    removefolder();
    ::mkdir(root.c_str(), 0755);

    for (const auto &[path, bytes] : vellomar::fuzz::files(data, size, mostbytes)) {
        if (safepath(path))
            write(root, path, bytes.constData(), size_t(bytes.size()));
    }

    vellomar::FolderHandle dir(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<vellomar::ListedEntry> listing;
    vellomar::listopenfolder(dir.fd(), [&listing](std::string_view raw, vellomar::EntryKind k) {
        listing.push_back({std::string(raw), k});
    });
    const auto found = vellomar::recognisebrowsercache(dir.fd(), listing);
    if (found && (found->entries < -1 || found->files < 0 || found->bytes < 0))
        std::abort();
    return 0;
}
