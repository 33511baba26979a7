// Command round trips per second against NET_SERVER on loopback, with 1 and
// 50 clients, next to a minimal blocking thread-per-client server of the same
// framing. Prints figures only. The two servers take turns three times and
// the median of each is printed, since a shared machine's load moves between
// runs; beside it the CPU time and the context switches of the whole process
// per round trip, which tell work apart from waiting to be scheduled.
//
//   bench_net_roundtrip [seconds per run]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lintra/NetServer.h"
#include "lintra/netdef.h"

namespace {

constexpr uint32_t kBodySize = 64;
auto kRunTime = std::chrono::milliseconds(1500);

bool SendAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool RecvAll(int fd, void* data, size_t n) {
    char* p = static_cast<char*>(data);
    while (n > 0) {
        ssize_t r = recv(fd, p, n, 0);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

int Connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void Reply(int socket, const tagNETHEAD& head, const void*, unsigned, const void*) {
    tagNETHEAD answer = head;
    answer.intParam[0] = 1;
    answer.bodyLength = 0;
    SendAll(socket, &answer, sizeof answer);
}

// The reference: one blocking thread per client, nothing else.
class EchoServer {
public:
    EchoServer() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, SOMAXCONN);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] {
            for (;;) {
                int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) break;
                int one = 1;
                setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                clients_.emplace_back([c] {
                    tagNETHEAD head;
                    std::vector<char> body;
                    while (RecvAll(c, &head, sizeof head)) {
                        if (head.bodyLength > lintra::kMaxBodyLength) break;
                        body.resize(head.bodyLength);
                        if (head.bodyLength && !RecvAll(c, body.data(), body.size())) break;
                        Reply(c, head, body.data(), head.bodyLength, nullptr);
                    }
                    close(c);
                });
            }
        });
    }
    ~EchoServer() {
        shutdown(fd_, SHUT_RDWR);
        acceptor_.join();
        for (auto& t : clients_) t.join();
        close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::vector<std::thread> clients_;
};

struct Figures {
    double perSecond = 0;
    double cpuMicros = 0;  // process CPU time per round trip
    double switches = 0;   // context switches per round trip
};

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ContextSwitches() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_nvcsw + ru.ru_nivcsw);
}

// Round trips per second of `clients` connections, each sending one command
// with a small body and waiting for its reply head.
Figures Measure(int port, int clients) {
    std::vector<int> fds;
    for (int i = 0; i < clients; ++i) {
        int fd = Connect(port);
        if (fd < 0) return {};
        fds.push_back(fd);
    }
    std::atomic<bool> go{false}, stop{false};
    std::atomic<long> total{0};
    std::vector<std::thread> threads;
    for (int fd : fds) {
        threads.emplace_back([&, fd] {
            std::string msg(sizeof(tagNETHEAD) + kBodySize, 'x');
            tagNETHEAD head;
            lintra::InitHead(head, 528);
            head.bodyLength = kBodySize;
            std::memcpy(msg.data(), &head, sizeof head);
            while (!go) std::this_thread::yield();
            long n = 0;
            tagNETHEAD answer;
            while (!stop) {
                if (!SendAll(fd, msg.data(), msg.size()) || !RecvAll(fd, &answer, sizeof answer)) break;
                ++n;
            }
            total += n;
        });
    }
    const double cpu0 = ProcessCpuSeconds();
    const double cs0 = ContextSwitches();
    auto start = std::chrono::steady_clock::now();
    go = true;
    std::this_thread::sleep_for(kRunTime);
    stop = true;
    for (auto& t : threads) t.join();
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double cs = ContextSwitches() - cs0;
    for (int fd : fds) close(fd);
    Figures f;
    if (total == 0) return f;
    f.perSecond = static_cast<double>(total) / secs;
    f.cpuMicros = cpu * 1e6 / static_cast<double>(total);
    f.switches = cs / static_cast<double>(total);
    return f;
}

Figures Median(std::vector<Figures> runs) {
    std::sort(runs.begin(), runs.end(), [](const Figures& a, const Figures& b) { return a.perSecond < b.perSecond; });
    return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (argc > 1) kRunTime = std::chrono::milliseconds(std::max(100, static_cast<int>(std::atof(argv[1]) * 1000)));
    void* server = NET_SERVER::StartServer(0);
    if (!server) {
        std::fprintf(stderr, "NET_SERVER did not start\n");
        return 1;
    }
    NET_SERVER::SetDataRecvCallback(server, &Reply, nullptr);
    const int serverPort = NET_SERVER::GetServerPort(server);
    EchoServer echo;

    std::printf("command round trips per second on loopback (%u-byte body, %.1f s per run, median of 3 turns)\n",
                kBodySize, std::chrono::duration<double>(kRunTime).count());
    std::printf("%8s %12s %12s %7s   %s\n", "clients", "NET_SERVER", "blocking", "ratio",
                "CPU us / switches per round trip (NET_SERVER, blocking)");
    for (int clients : {1, 50}) {
        std::vector<Figures> a, b;
        for (int turn = 0; turn < 3; ++turn) {
            a.push_back(Measure(serverPort, clients));
            b.push_back(Measure(echo.port(), clients));
        }
        const Figures ma = Median(a), mb = Median(b);
        std::printf("%8d %12.0f %12.0f %7.2f   %5.1f / %4.2f   %5.1f / %4.2f\n", clients, ma.perSecond, mb.perSecond,
                    mb.perSecond > 0 ? ma.perSecond / mb.perSecond : 0.0, ma.cpuMicros, ma.switches, mb.cpuMicros,
                    mb.switches);
    }
    NET_SERVER::StopServer(server);
    return 0;
}
