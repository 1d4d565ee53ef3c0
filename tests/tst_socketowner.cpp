#include "socketowner.h"

#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vellomar;

namespace {

// The kernel prints each 32-bit word of an address as the number its bytes make in this
// machine's order: these lines are as an x86 machine prints them.
const char *const heading4 = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when "
                             "retrnsmt   uid  timeout inode\n";
const char *const heading6 =
    "  sl  local_address                         remote_address                        st "
    "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

SocketEnd ipv6(std::array<unsigned char, 16> bytes, std::uint16_t port)
{
    SocketEnd end;
    end.address = bytes;
    end.port = port;
    return end;
}

// A connected pair on the loopback: the client's socket and the one accepted for it.
struct Connection {
    int listener = -1, client = -1, accepted = -1;
    ~Connection()
    {
        for (int fd : {listener, client, accepted})
            if (fd >= 0)
                ::close(fd);
    }
};

SocketEnd endof(int fd, bool peer)
{
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    auto *a = reinterpret_cast<sockaddr *>(&address);
    if (peer ? ::getpeername(fd, a, &length) : ::getsockname(fd, a, &length))
        return {};
    return SocketEnd::of(a, length).value_or(SocketEnd{});
}

} // namespace

class TestSocketOwner : public QObject
{
    Q_OBJECT
  private slots:
    void findsTheOwnerInATable_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<bool>("ipv6");
        QTest::addColumn<SocketEnd>("local");
        QTest::addColumn<SocketEnd>("remote");
        QTest::addColumn<int>("owner");                                    // -1: none
        const SocketEnd client = SocketEnd::ipv4({127, 0, 0, 2}, 41234);   // A112
        const SocketEnd listener = SocketEnd::ipv4({127, 0, 0, 1}, 37905); // 9411
        // The listener, the server's end of the connection (root's) and the client's (nobody's).
        const QByteArray table4 =
            QByteArray(heading4) +
            "   0: 0100007F:9411 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0"
            "        0 81234 1 0000000000000000 100 0 0 10 0\n"
            "   1: 0100007F:9411 0200007F:A112 01 00000000:00000000 00:00000000 00000000     0"
            "        0 81301 1 0000000000000000 20 4 30 10 -1\n"
            "   2: 0200007F:A112 0100007F:9411 01 00000000:00000000 00:00000000 00000000 65534"
            "        0 81300 1 0000000000000000 20 4 31 10 -1\n";
        QTest::newRow("IPv4: the client's end") << table4 << false << client << listener << 65534;
        QTest::newRow("IPv4: the server's end") << table4 << false << listener << client << 0;
        QTest::newRow("IPv4: another port")
            << table4 << false << SocketEnd::ipv4({127, 0, 0, 2}, 41235) << listener << -1;
        QTest::newRow("IPv4: another address")
            << table4 << false << SocketEnd::ipv4({127, 0, 0, 3}, 41234) << listener << -1;
        QTest::newRow("IPv4: the remote must match too")
            << table4 << false << client << SocketEnd::ipv4({127, 0, 0, 1}, 80) << -1;
        QTest::newRow("IPv4 table never holds an IPv6 end")
            << table4 << false << ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 41234)
            << listener << -1;
        // A client's IPv6 socket reaching the IPv4 listener: its ends are mapped.
        const QByteArray table6 =
            QByteArray(heading6) +
            "   0: 00000000000000000000000000000000:0016 00000000000000000000000000000000:0000 0A "
            "00000000:00000000 00:00000000 00000000     0        0 22334 1 0000000000000000 100 0 "
            "0 10 0\n"
            "   1: 0000000000000000FFFF00000300007F:C350 0000000000000000FFFF00000100007F:9411 01 "
            "00000000:00000000 00:00000000 00000000  1000        0 91000 1 0000000000000000 20 4 "
            "30 10 -1\n"
            "   2: 00000000000000000000000001000000:D431 00000000000000000000000001000000:0016 01 "
            "00000000:00000000 02:000A7214 00000000  1001        0 91010 2 0000000000000000 20 4 "
            "1 10 -1\n";
        QTest::newRow("IPv6: a mapped IPv4 end")
            << table6 << true << SocketEnd::ipv4({127, 0, 0, 3}, 50000) << listener << 1000;
        QTest::newRow("IPv6: ::1")
            << table6 << true << ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 54321)
            << ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 22) << 1001;
        QTest::newRow("IPv6: the mapped end is not the IPv4 one")
            << table6 << false << SocketEnd::ipv4({127, 0, 0, 3}, 50000) << listener << -1;
        // Lines cut short, padded or garbled are skipped, never read past their end.
        const QByteArray line = "   2: 0200007F:A112 0100007F:9411 01 00000000:00000000 "
                                "00:00000000 00000000 65534        0 81300 1\n";
        const struct {
            const char *name;
            QByteArray table;
            int owner;
        } rows[] = {
            {"empty", "", -1},
            {"heading only", heading4, -1},
            {"no line feed at the end", QByteArray(heading4) + line.chopped(1), 65534},
            {"cut before the uid", QByteArray(heading4) + line.left(line.indexOf("65534")), -1},
            {"uid not a number", QByteArray(heading4) + QByteArray(line).replace("65534", "6553x"),
             -1},
            {"uid too large",
             QByteArray(heading4) + QByteArray(line).replace("65534", "99999999999"), -1},
            {"address too short",
             QByteArray(heading4) + QByteArray(line).replace("0200007F:", "200007F:"), -1},
            {"address not hexadecimal",
             QByteArray(heading4) + QByteArray(line).replace("0200007F:", "0200007G:"), -1},
            {"port too long", QByteArray(heading4) + QByteArray(line).replace(":A112", ":A1120"),
             -1},
            {"signed port", QByteArray(heading4) + QByteArray(line).replace(":A112", ":+112"), -1},
            {"no colon",
             QByteArray(heading4) + QByteArray(line).replace("0200007F:A112", "0200007FxA112"), -1},
            {"tabs and blanks", QByteArray(heading4) + QByteArray(line).replace(' ', "\t  "),
             65534},
            {"a garbled line before", QByteArray(heading4) + "   1: 0200007F\n\n:::\n" + line,
             65534},
            {"NUL bytes", QByteArray(heading4) + QByteArray(40, '\0') + "\n" + line, 65534},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << r.table << false << client << listener << r.owner;
    }
    void findsTheOwnerInATable()
    {
        QFETCH(QByteArray, table);
        QFETCH(bool, ipv6);
        QFETCH(SocketEnd, local);
        QFETCH(SocketEnd, remote);
        QFETCH(int, owner);
        const auto found = ownerintable(std::string_view(table.constData(), size_t(table.size())),
                                        ipv6, local, remote);
        QCOMPARE(found.has_value(), owner >= 0);
        if (found)
            QCOMPARE(int(*found), owner);
    }

    void endsOfSocketAddresses()
    {
        sockaddr_in in = {};
        in.sin_family = AF_INET;
        in.sin_port = htons(8080);
        in.sin_addr.s_addr = htonl(0x7f000002);
        const auto four = SocketEnd::of(reinterpret_cast<sockaddr *>(&in), sizeof in);
        QVERIFY(four);
        QCOMPARE(*four, SocketEnd::ipv4({127, 0, 0, 2}, 8080));
        QVERIFY(!SocketEnd::of(reinterpret_cast<sockaddr *>(&in), sizeof in - 1));
        sockaddr_in6 in6 = {};
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(8080);
        QVERIFY(::inet_pton(AF_INET6, "::ffff:127.0.0.2", &in6.sin6_addr) == 1);
        QCOMPARE(SocketEnd::of(reinterpret_cast<sockaddr *>(&in6), sizeof in6), four);
        sockaddr un = {};
        un.sa_family = AF_UNIX;
        QVERIFY(!SocketEnd::of(&un, sizeof un));
        QVERIFY(!SocketEnd::of(nullptr, 0));
    }

    // The kernel, asked either way, names this process as the owner of both ends of a loopback
    // connection, made from an IPv4 socket or from an IPv6 one to the mapped address.
    void theKernelNamesThisUser_data()
    {
        QTest::addColumn<int>("family");
        QTest::newRow("IPv4 client") << int(AF_INET);
        QTest::newRow("IPv6 client, mapped") << int(AF_INET6);
    }
    void theKernelNamesThisUser()
    {
        QFETCH(int, family);
        Connection c;
        c.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(c.listener, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
        QCOMPARE(::listen(c.listener, 4), 0);
        socklen_t length = sizeof at;
        QCOMPARE(::getsockname(c.listener, reinterpret_cast<sockaddr *>(&at), &length), 0);
        c.client = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(c.client >= 0);
        if (family == AF_INET) {
            QCOMPARE(::connect(c.client, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
        } else {
            sockaddr_in6 to = {};
            to.sin6_family = AF_INET6;
            to.sin6_port = at.sin_port;
            QVERIFY(::inet_pton(AF_INET6, "::ffff:127.0.0.1", &to.sin6_addr) == 1);
            QCOMPARE(::connect(c.client, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        }
        c.accepted = ::accept4(c.listener, nullptr, nullptr, SOCK_CLOEXEC);
        QVERIFY(c.accepted >= 0);
        // What the listener sees: the client's end as an IPv4 address, and its own.
        const SocketEnd client = endof(c.accepted, true);
        const SocketEnd server = endof(c.accepted, false);
        QCOMPARE(client, endof(c.client, false));
        const KernelSocketOwners kernel;
        const ProcSocketOwners tables;
        for (const SocketOwners *owners : {static_cast<const SocketOwners *>(&kernel),
                                           static_cast<const SocketOwners *>(&tables)}) {
            QCOMPARE(owners->owner(client, server), std::optional<unsigned>(::geteuid()));
            QCOMPARE(owners->owner(server, client), std::optional<unsigned>(::geteuid()));
            SocketEnd gone = client;
            gone.port = std::uint16_t(client.port ^ 1);
            QCOMPARE(owners->owner(gone, server), std::nullopt);
            QCOMPARE(owners->owner(client, gone), std::nullopt);
        }
    }
};

QTEST_GUILESS_MAIN(TestSocketOwner)
#include "tst_socketowner.moc"
