#include "socketowner.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <string>
#include <sys/time.h>
#include <unistd.h>

namespace vellomar {

namespace {

// The tables grow with every socket on the machine; past this they are not read further.
constexpr size_t largesttable = 64 * 1024 * 1024;
// Where the owner stands among a line's fields: "sl: local remote st tx:rx tr:when retr uid".
constexpr size_t localfield = 1, remotefield = 2, uidfield = 7;
constexpr size_t hexdigitsperword = 8, portdigits = 4;

constexpr std::array<unsigned char, 12> mappedprefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

bool ismapped(const SocketEnd &end)
{
    return std::memcmp(end.address.data(), mappedprefix.data(), mappedprefix.size()) == 0;
}

// Exactly `text` as a hexadecimal number that fits.
template <typename T> bool parsehex(std::string_view text, T &value)
{
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc() && end == text.data() + text.size();
}

// "ADDRESS:PORT": the address as the kernel prints it, words of 32 bits each printed as the
// number their bytes make in this machine's order, then the port as a number.
std::optional<SocketEnd> parseend(std::string_view field, bool ipv6)
{
    const size_t words = ipv6 ? 4 : 1;
    if (field.size() != words * hexdigitsperword + 1 + portdigits ||
        field[words * hexdigitsperword] != ':')
        return std::nullopt;
    SocketEnd end;
    unsigned char *to = end.address.data();
    if (!ipv6) {
        std::memcpy(to, mappedprefix.data(), mappedprefix.size());
        to += mappedprefix.size();
    }
    for (size_t w = 0; w < words; ++w) {
        std::uint32_t word = 0;
        if (!parsehex(field.substr(w * hexdigitsperword, hexdigitsperword), word))
            return std::nullopt;
        std::memcpy(to + w * sizeof word, &word, sizeof word);
    }
    if (!parsehex(field.substr(words * hexdigitsperword + 1), end.port))
        return std::nullopt;
    return end;
}

// The whitespace-separated fields of a line, up to `count` of them.
template <size_t count>
size_t splitfields(std::string_view line, std::array<std::string_view, count> &out)
{
    size_t n = 0;
    size_t at = 0;
    while (n < count) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos)
            break;
        const size_t stop = std::min(line.find_first_of(" \t", at), line.size());
        out[n++] = line.substr(at, stop - at);
        at = stop;
    }
    return n;
}

// The whole of a /proc file, or as much as the cap allows; empty when it cannot be read.
std::string readtable(const char *path)
{
    std::string text;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[65536];
    while (text.size() < largesttable) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, size_t(got));
    }
    ::close(fd);
    return text;
}

// What the kernel said of one socket: its owner, that there is none, or nothing usable.
struct DiagAnswer {
    bool answered = false;
    std::optional<unsigned> owner;
};

DiagAnswer askkernel(const SocketEnd &local, const SocketEnd &remote)
{
    DiagAnswer result;
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return result;
    const timeval wait{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message = {};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    inet_diag_req_v2 &r = message.request;
    // A socket with IPv4 ends, an IPv6 one's mapped ends included, is found among IPv4 ones.
    const bool four = ismapped(local) && ismapped(remote);
    r.sdiag_family = four ? AF_INET : AF_INET6;
    r.sdiag_protocol = IPPROTO_TCP;
    r.idiag_states = ~0u;
    r.id.idiag_sport = htons(local.port);
    r.id.idiag_dport = htons(remote.port);
    const size_t skip = four ? mappedprefix.size() : 0;
    std::memcpy(r.id.idiag_src, local.address.data() + skip, local.address.size() - skip);
    std::memcpy(r.id.idiag_dst, remote.address.data() + skip, remote.address.size() - skip);
    r.id.idiag_cookie[0] = r.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;
    alignas(nlmsghdr) unsigned char buffer[8192];
    if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr *>(&kernel),
                 sizeof kernel) == ssize_t(sizeof message)) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got >= ssize_t(sizeof(nlmsghdr))) {
            nlmsghdr header;
            std::memcpy(&header, buffer, sizeof header);
            if (header.nlmsg_len <= size_t(got)) {
                if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY &&
                    header.nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                    inet_diag_msg found;
                    std::memcpy(&found, buffer + NLMSG_HDRLEN, sizeof found);
                    result = {true, found.idiag_uid};
                } else if (header.nlmsg_type == NLMSG_ERROR &&
                           header.nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr))) {
                    nlmsgerr error;
                    std::memcpy(&error, buffer + NLMSG_HDRLEN, sizeof error);
                    // No such socket is an answer; anything else leaves the question open.
                    result.answered = error.error == -ENOENT;
                }
            }
        }
    }
    ::close(fd);
    return result;
}

} // namespace

std::optional<SocketEnd> SocketEnd::of(const sockaddr *address, socklen_t length)
{
    if (!address)
        return std::nullopt;
    if (address->sa_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in))) {
        sockaddr_in in;
        std::memcpy(&in, address, sizeof in);
        std::array<unsigned char, 4> bytes;
        std::memcpy(bytes.data(), &in.sin_addr, bytes.size());
        return ipv4(bytes, ntohs(in.sin_port));
    }
    if (address->sa_family == AF_INET6 && length >= socklen_t(sizeof(sockaddr_in6))) {
        sockaddr_in6 in6;
        std::memcpy(&in6, address, sizeof in6);
        SocketEnd end;
        std::memcpy(end.address.data(), &in6.sin6_addr, end.address.size());
        end.port = ntohs(in6.sin6_port);
        return end;
    }
    return std::nullopt;
}

SocketEnd SocketEnd::ipv4(std::array<unsigned char, 4> bytes, std::uint16_t port)
{
    SocketEnd end;
    std::memcpy(end.address.data(), mappedprefix.data(), mappedprefix.size());
    std::memcpy(end.address.data() + mappedprefix.size(), bytes.data(), bytes.size());
    end.port = port;
    return end;
}

std::optional<unsigned> ownerintable(std::string_view table, bool ipv6, const SocketEnd &local,
                                     const SocketEnd &remote)
{
    // An IPv4 socket cannot have an IPv6 end.
    if (!ipv6 && (!ismapped(local) || !ismapped(remote)))
        return std::nullopt;
    size_t at = 0;
    while (at < table.size()) {
        const size_t stop = std::min(table.find('\n', at), table.size());
        const std::string_view line = table.substr(at, stop - at);
        at = stop + 1;
        std::array<std::string_view, uidfield + 1> fields;
        if (splitfields(line, fields) != fields.size())
            continue;
        const auto l = parseend(fields[localfield], ipv6);
        const auto r = parseend(fields[remotefield], ipv6);
        if (!l || !r || *l != local || *r != remote)
            continue;
        unsigned uid = 0;
        const std::string_view u = fields[uidfield];
        const auto [end, ec] = std::from_chars(u.data(), u.data() + u.size(), uid);
        if (ec == std::errc() && end == u.data() + u.size())
            return uid;
    }
    return std::nullopt;
}

std::optional<unsigned> KernelSocketOwners::owner(const SocketEnd &local,
                                                  const SocketEnd &remote) const
{
    const DiagAnswer asked = askkernel(local, remote);
    if (asked.answered)
        return asked.owner;
    return ProcSocketOwners().owner(local, remote);
}

std::optional<unsigned> ProcSocketOwners::owner(const SocketEnd &local,
                                                const SocketEnd &remote) const
{
    if (ismapped(local) && ismapped(remote)) {
        if (const auto uid = ownerintable(readtable("/proc/net/tcp"), false, local, remote))
            return uid;
    }
    return ownerintable(readtable("/proc/net/tcp6"), true, local, remote);
}

} // namespace vellomar
