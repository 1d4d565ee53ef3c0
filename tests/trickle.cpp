// Slow clients of a local listener, for the install test: from each named loopback address it
// keeps the given number of connections, each sending one byte of a request every interval, and
// opens a new one at the next interval whenever one is closed. Runs for a bounded time and
// prints how long the connections lasted.
//   vellomar-trickle PORT SECONDS INTERVAL_MS ADDRESS:COUNT...
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char request[] =
    "GET /player.html HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: "
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";

struct Client {
    in_addr from{};
    int fd = -1;
    Clock::time_point opened;
    size_t sent = 0;
};

long long msbetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

int connectfrom(in_addr from, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // A full backlog must not stall the loop: connect gives up after a second.
    timeval wait{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = from;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s PORT SECONDS INTERVAL_MS ADDRESS:COUNT...\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const auto runfor = std::chrono::seconds(std::atoi(argv[2]));
    const auto interval = std::chrono::milliseconds(std::atoi(argv[3]));
    std::vector<Client> clients;
    for (int i = 4; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t colon = arg.find(':');
        Client c;
        if (colon == std::string::npos ||
            ::inet_pton(AF_INET, arg.substr(0, colon).c_str(), &c.from) != 1)
            return 2;
        clients.insert(clients.end(), size_t(std::atoi(arg.c_str() + colon + 1)), c);
    }

    const Clock::time_point start = Clock::now();
    long long opened = 0, failed = 0, closed = 0, longest = 0;
    Clock::time_point tick = start;
    while (Clock::now() - start < runfor) {
        // Each interval: a byte on every open connection, a new connection for every closed one.
        const Clock::time_point now = Clock::now();
        if (now >= tick) {
            for (Client &c : clients) {
                if (c.fd < 0) {
                    c.fd = connectfrom(c.from, port);
                    if (c.fd < 0) {
                        ++failed;
                        continue;
                    }
                    ++opened;
                    c.opened = Clock::now();
                    c.sent = 0;
                }
                const char byte = request[c.sent % (sizeof request - 1)];
                if (::send(c.fd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1)
                    ++c.sent;
            }
            tick = now + interval;
        }
        // Until the next interval: note every connection the other end closes.
        std::vector<pollfd> polls;
        std::vector<Client *> polled;
        for (Client &c : clients) {
            if (c.fd >= 0) {
                polls.push_back({c.fd, POLLIN, 0});
                polled.push_back(&c);
            }
        }
        const long long left = std::max(0LL, msbetween(Clock::now(), tick));
        if (::poll(polls.data(), polls.size(), int(std::min(left, 100LL))) < 0 && errno != EINTR)
            return 1;
        for (size_t i = 0; i < polls.size(); ++i) {
            if (!polls[i].revents)
                continue;
            Client &c = *polled[i];
            char buffer[4096];
            const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0 || (got < 0 && (errno == EAGAIN || errno == EINTR)))
                continue;
            longest = std::max(longest, msbetween(c.opened, Clock::now()));
            ++closed;
            ::close(c.fd);
            c.fd = -1;
        }
    }
    long long open = 0, oldest = 0;
    for (const Client &c : clients) {
        if (c.fd >= 0) {
            ++open;
            oldest = std::max(oldest, msbetween(c.opened, Clock::now()));
        }
    }
    std::printf("opened %lld failed %lld closed %lld longest %lld open %lld oldest %lld\n", opened,
                failed, closed, longest, open, oldest);
    return 0;
}
