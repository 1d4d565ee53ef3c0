#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <sys/socket.h>

namespace vellomar {

// One end of a TCP connection: the address in IPv6 form (an IPv4 address mapped, as
// ::ffff:a.b.c.d) and the port.
struct SocketEnd {
    std::array<unsigned char, 16> address{};
    std::uint16_t port = 0;
    bool operator==(const SocketEnd &) const = default;

    // From a socket address (IPv4 or IPv6); none for any other family or a short length.
    static std::optional<SocketEnd> of(const sockaddr *address, socklen_t length);
    // a.b.c.d given as the four bytes in order.
    static SocketEnd ipv4(std::array<unsigned char, 4> bytes, std::uint16_t port);
};

// Who owns the socket at one end of a connection on this machine.
class SocketOwners
{
  public:
    virtual ~SocketOwners() = default;
    // The user id owning the socket whose own end is `local` and other end `remote`; none when
    // no such socket is known.
    virtual std::optional<unsigned> owner(const SocketEnd &local,
                                          const SocketEnd &remote) const = 0;
};

// The kernel's tables of TCP sockets, /proc/net/tcp and /proc/net/tcp6: every socket on the
// machine printed and read for each question.
class ProcSocketOwners : public SocketOwners
{
  public:
    std::optional<unsigned> owner(const SocketEnd &local, const SocketEnd &remote) const override;
};

// The kernel asked for the one socket by its ends (sock_diag), which costs the same however many
// sockets there are; the tables above when the kernel cannot be asked so.
class KernelSocketOwners : public SocketOwners
{
  public:
    std::optional<unsigned> owner(const SocketEnd &local, const SocketEnd &remote) const override;
};

// The owner in one table's text as the kernel prints it (a heading, then one socket a line:
// "sl: local remote st queues timer retransmits uid ..."). `ipv6` says which table it is:
// IPv4 ends are only found in the IPv4 table as themselves, and in the IPv6 one when mapped.
// Lines that do not parse are skipped.
std::optional<unsigned> ownerintable(std::string_view table, bool ipv6, const SocketEnd &local,
                                     const SocketEnd &remote);

} // namespace vellomar
