// The floor for a check's time: the same POP3 dialogue as a check (CAPA, USER,
// PASS, STAT, then UIDL n and TOP n 0 for every message, QUIT) over a plain
// blocking socket, reading each reply to its end and doing nothing else with it.
// When the server lists PIPELINING the UIDL commands and then the TOP commands
// go out ahead of their replies, at most 4 KB of them unanswered, as a check
// sends them;
// "sequential" waits for every reply whatever the server offers.
//
//   bench_pop3_floor <host> <port> <user> <password> [runs] [auto|sequential]
//
// Prints one line per run: messages, milliseconds, milliseconds per message, mode.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>

namespace {

class BlockingPop3 {
public:
    explicit BlockingPop3(int fd)
        : m_fd(fd)
    {
    }
    ~BlockingPop3() { ::close(m_fd); }

    bool send(const std::string& line, bool addLineEnd = true)
    {
        const std::string text = addLineEnd ? line + "\r\n" : line;
        size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::send(m_fd, text.data() + sent, text.size() - sent, 0);
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }

    // One line without its CR LF.
    bool readLine(std::string& line)
    {
        for (;;) {
            const size_t end = m_buffer.find("\r\n", m_start);
            if (end != std::string::npos) {
                line.assign(m_buffer, m_start, end - m_start);
                m_start = end + 2;
                return true;
            }
            m_buffer.erase(0, m_start);
            m_start = 0;
            char chunk[65536];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return false;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

    bool okReply(std::string& line) { return readLine(line) && line.compare(0, 3, "+OK") == 0; }

    bool command(const std::string& text, std::string& reply) { return send(text) && okReply(reply); }

    // A multi-line reply after its status line: up to the line ".".
    bool skipBlock()
    {
        std::string line;
        while (readLine(line)) {
            if (line == ".")
                return true;
        }
        return false;
    }

    // Commands are collected and leave in one write, so a window refilled
    // after a burst of replies costs one system call.
    void queue(const std::string& line) { m_out += line + "\r\n"; }

    bool flush()
    {
        const bool sent = send(m_out, false);
        m_out.clear();
        return sent;
    }

    // Whether a whole line is already buffered, so reading it will not block.
    bool lineBuffered() const { return m_buffer.find("\r\n", m_start) != std::string::npos; }

private:
    int m_fd;
    std::string m_out;
    std::string m_buffer;
    size_t m_start = 0;
};

int connectTo(const char* host, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host, &address.sin_addr) != 1
        || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    // Qt's socket sends each command at once as well.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Whether a positive CAPA reply lists PIPELINING; reads the reply to its end.
bool offersPipelining(BlockingPop3& pop)
{
    std::string line;
    if (!pop.send("CAPA") || !pop.readLine(line))
        return false;
    if (line.compare(0, 3, "+OK") != 0)
        return false;
    bool pipelining = false;
    while (pop.readLine(line) && line != ".") {
        if (line == "PIPELINING" || line.compare(0, 11, "PIPELINING ") == 0)
            pipelining = true;
    }
    return pipelining;
}

constexpr size_t windowBytes = 4096;

// Sends `command(j)` for j = 1..count with at most `windowBytes` of commands
// unanswered and reads every reply in order with `readReply`.
template <typename Command, typename ReadReply>
bool pipelined(BlockingPop3& pop, long count, Command command, ReadReply readReply)
{
    long sent = 0;
    long answered = 0;
    std::deque<size_t> unanswered;
    size_t bytes = 0;
    while (answered < count) {
        while (sent < count) {
            const std::string next = command(sent + 1);
            if (bytes + next.size() + 2 > windowBytes)
                break;
            pop.queue(next);
            unanswered.push_back(next.size() + 2);
            bytes += next.size() + 2;
            ++sent;
        }
        if (!pop.flush())
            return false;
        // Everything already here is read before the window is refilled.
        do {
            if (!readReply())
                return false;
            bytes -= unanswered.front();
            unanswered.pop_front();
            ++answered;
        } while (answered < sent && pop.lineBuffered());
    }
    return true;
}

// Returns the number of messages, or -1 on any failure.
long runDialogue(const char* host, int port, const std::string& user, const std::string& password,
    bool allowPipelining, bool& usedPipelining)
{
    const int fd = connectTo(host, port);
    if (fd < 0)
        return -1;
    BlockingPop3 pop(fd);
    std::string reply;
    if (!pop.okReply(reply))
        return -1;
    usedPipelining = offersPipelining(pop) && allowPipelining;
    if (!pop.command("USER " + user, reply) || !pop.command("PASS " + password, reply)
        || !pop.command("STAT ", reply))
        return -1;
    const long count = std::strtol(reply.c_str() + 3, nullptr, 10);
    auto uidl = [](long j) { return "UIDL " + std::to_string(j); };
    auto top = [](long j) { return "TOP " + std::to_string(j) + " 0"; };
    if (usedPipelining) {
        auto readUidl = [&] { return pop.okReply(reply); };
        auto readTop = [&] { return pop.okReply(reply) && pop.skipBlock(); };
        if (!pipelined(pop, count, uidl, readUidl) || !pipelined(pop, count, top, readTop))
            return -1;
    } else {
        for (long j = 1; j <= count; ++j) {
            if (!pop.command(uidl(j), reply) || !pop.command(top(j), reply) || !pop.skipBlock())
                return -1;
        }
    }
    pop.send("QUIT");
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5
        || (argc > 6 && std::string_view(argv[6]) != "auto" && std::string_view(argv[6]) != "sequential")) {
        std::fprintf(stderr, "usage: %s <host> <port> <user> <password> [runs] [auto|sequential]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 5 ? std::atoi(argv[5]) : 1;
    const bool allowPipelining = argc <= 6 || std::string_view(argv[6]) == "auto";
    for (int run = 0; run < runs; ++run) {
        const auto begin = std::chrono::steady_clock::now();
        bool usedPipelining = false;
        const long count
            = runDialogue(argv[1], std::atoi(argv[2]), argv[3], argv[4], allowPipelining, usedPipelining);
        const double ms
            = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        if (count < 0) {
            std::fprintf(stderr, "the dialogue failed\n");
            return 1;
        }
        std::printf("floor messages=%ld ms=%.1f ms_per_message=%.4f mode=%s\n", count, ms,
            count ? ms / count : 0.0, usedPipelining ? "pipelined" : "sequential");
    }
    return 0;
}
