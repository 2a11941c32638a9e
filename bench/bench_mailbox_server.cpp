// A POP3 server of its own process whose mailbox is made up as it is asked,
// so that a check of hundreds of thousands of messages is measured without a
// server in the same process and without that many files on disk.
//
//   bench_mailbox_server <messages> [pipelining|sequential] [hostile]
//
// Prints the loopback port it listens on, then serves one connection after
// another until it is killed. "sequential" answers CAPA with "-ERR", so a
// check talks one command at a time; "hostile" gives every message a
// 512-byte identifier and a 400-byte subject, the most a check accepts.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct Mailbox {
    long messages = 0;
    bool pipelining = true;
    bool hostile = false;

    std::string identifier(long j) const
    {
        char number[32];
        std::snprintf(number, sizeof number, "%08ld", j);
        if (!hostile)
            return std::string("srv-") + number;
        // Unique in its first bytes, so no two look alike early.
        return std::string(number) + std::string(512 - 8, 'u');
    }

    std::string headers(long j) const
    {
        const std::string subject = hostile ? std::string(400, 's') : "Report number " + std::to_string(j);
        return "From: Yamada Taro <yamada@example.jp>\r\nDate: Tue, 15 Apr 2003 10:20:30 +0900\r\n"
               "Subject: "
            + subject + "\r\n\r\n";
    }

    // The reply to one command line, or empty to hang up after "+OK".
    std::string answer(std::string_view line, bool& quit) const
    {
        const auto starts = [&](std::string_view word) {
            return line.size() >= word.size() && line.substr(0, word.size()) == word;
        };
        if (starts("CAPA"))
            return pipelining ? "+OK\r\nUIDL\r\nTOP\r\nPIPELINING\r\n.\r\n" : "-ERR\r\n";
        if (starts("STAT"))
            return "+OK " + std::to_string(messages) + " " + std::to_string(messages * 1024) + "\r\n";
        if (starts("UIDL ")) {
            const long j = std::atol(std::string(line.substr(5)).c_str());
            if (j < 1 || j > messages)
                return "-ERR no such message\r\n";
            return "+OK " + std::to_string(j) + " " + identifier(j) + "\r\n";
        }
        if (starts("TOP ")) {
            const long j = std::atol(std::string(line.substr(4)).c_str());
            if (j < 1 || j > messages)
                return "-ERR no such message\r\n";
            return "+OK\r\n" + headers(j) + ".\r\n";
        }
        if (starts("QUIT"))
            quit = true;
        return "+OK\r\n";
    }
};

bool sendAll(int fd, const std::string& text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Answers every whole line that has come, in one write, as a server does.
void serve(int fd, const Mailbox& mailbox)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!sendAll(fd, "+OK ready\r\n"))
        return;
    std::string in;
    std::string out;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        in.append(chunk, static_cast<size_t>(n));
        size_t start = 0;
        bool quit = false;
        for (size_t end; !quit && (end = in.find("\r\n", start)) != std::string::npos; start = end + 2)
            out += mailbox.answer(std::string_view(in).substr(start, end - start), quit);
        in.erase(0, start);
        if (!sendAll(fd, out) || quit)
            return;
        out.clear();
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <messages> [pipelining|sequential] [hostile]\n", argv[0]);
        return 2;
    }
    Mailbox mailbox;
    mailbox.messages = std::atol(argv[1]);
    mailbox.pipelining = argc <= 2 || std::string_view(argv[2]) != "sequential";
    mailbox.hostile = argc > 3 && std::string_view(argv[3]) == "hostile";

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 4) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen");
        return 1;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        serve(fd, mailbox);
        ::close(fd);
    }
}
