// Upload throughput of a sparse file to a loopback receiver that writes to
// /dev/null, beside a plain socket copy of the same bytes, and the time of
// the sampled file identity.
//
//   bench_upload_throughput            64 MiB file
//   bench_upload_throughput <MiB>      a file of that many MiB (1024 for 1 GiB)
//   bench_upload_throughput --link [RATE] [MiB]
//       receivers in four namespaces of their own (tools/netns-veth), each on
//       a veth link shaped to RATE (default 1gbit) with tc tbf, behind a
//       console side shaped to the same rate, as one console and four render
//       PCs on one switch: upload vs plain copy to one of them, then the same
//       file to all four at once. Default 1024 MiB: the file is sparse and
//       costs no disk, but 4 x 4 GiB through one 1 Gbit/s link would take
//       2.5 minutes per run. Runs itself under tools/netns-run: nothing
//       reaches a real interface.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "lintra/KestraneStageServer.h"
#include "lintra/filekit.h"
#include "lintra/netcodes.h"
#include "lintra/netdef.h"
#include "own_namespace.h"
#include "platform/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

bool ReadExact(int fd, void* buf, size_t n) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        const ssize_t r = ::recv(fd, p, n, 0);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool WriteAll(int fd, const void* buf, size_t n) {
    const auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// Where a receiver listens: loopback here, or a namespace of its own.
struct Target {
    std::string address = "127.0.0.1";
    int netns = -1;  // descriptor of the receiver's network namespace, -1: this one
};

int Listen(const Target& target, uint16_t& port) {
    int fd = -1;
    // The listening socket belongs to the namespace it is made in: make it
    // in a thread that has entered the receiver's namespace.
    std::thread maker([&] {
        if (target.netns >= 0 && ::setns(target.netns, CLONE_NEWNET) != 0) {
            std::perror("setns");
            return;
        }
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, target.address.c_str(), &a.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    });
    maker.join();
    return fd;
}

// Answers the upload commands; chunk bodies go to /dev/null.
void UploadReceiver(int listenFd) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::vector<uint8_t> body(8 * 1024 * 1024);
    tagNETHEAD head;
    while (ReadExact(fd, &head, sizeof head)) {
        if (head.bodyLength > body.size()) body.resize(head.bodyLength);
        if (head.bodyLength && !ReadExact(fd, body.data(), head.bodyLength)) break;
        if (head.bodyLength) (void)!::write(null, body.data(), head.bodyLength);
        tagNETHEAD reply = head;
        reply.bodyLength = 0;
        if (head.command == NETCMD::UploadQuery) reply.intParam[0] = 2;
        if (head.command == NETCMD::UploadData) reply.intParam[0] = 1;
        if (!WriteAll(fd, &reply, sizeof reply)) break;
    }
    ::close(null);
    ::close(fd);
}

void PlainReceiver(int listenFd) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::vector<uint8_t> buf(1 << 20);
    ssize_t r;
    while ((r = ::recv(fd, buf.data(), buf.size(), 0)) > 0) (void)!::write(null, buf.data(), static_cast<size_t>(r));
    ::close(null);
    ::close(fd);
}

// Sends the file to every target at once, each through its own connection
// and its own receiver; the seconds until the last receiver has it all.
double ToAll(const std::vector<Target>& targets, void (*receiver)(int),
             const std::function<void(const Target&, uint16_t)>& send) {
    std::vector<int> listeners;
    std::vector<uint16_t> ports(targets.size());
    std::vector<std::thread> rx, tx;
    for (size_t i = 0; i < targets.size(); ++i) {
        listeners.push_back(Listen(targets[i], ports[i]));
        rx.emplace_back(receiver, listeners.back());
    }
    const auto t0 = Clock::now();
    for (size_t i = 0; i < targets.size(); ++i) tx.emplace_back(send, targets[i], ports[i]);
    for (auto& t : tx) t.join();
    for (auto& t : rx) t.join();
    const auto t1 = Clock::now();
    for (int fd : listeners) ::close(fd);
    return Seconds(t0, t1);
}

double PlainCopy(const std::string& path, const std::vector<Target>& targets = {Target{}}) {
    return ToAll(targets, PlainReceiver, [&](const Target& target, uint16_t port) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, target.address.c_str(), &a.sin_addr);
        a.sin_port = htons(port);
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        std::vector<uint8_t> buf(8 * 1024 * 1024);
        ssize_t r;
        while ((r = ::read(in, buf.data(), buf.size())) > 0) WriteAll(s, buf.data(), static_cast<size_t>(r));
        ::close(in);
        ::shutdown(s, SHUT_WR);
        // The receiver closes once it has read everything.
        char c;
        while (::recv(s, &c, 1, 0) > 0) {
        }
        ::close(s);
    });
}

double Upload(const std::string& path, const std::vector<Target>& targets = {Target{}}) {
    return ToAll(targets, UploadReceiver, [&](const Target& target, uint16_t port) {
        CKestraneStageServer session;
        int result = -1;
        if (session.ConnectServer(target.address.c_str(), port, 2))
            result = session.UploadFile(path.c_str(), nullptr, nullptr);
        session.Disconnect();
        if (result != 0) std::printf("upload to %s: result %d\n", target.address.c_str(), result);
    });
}

std::string SparseFile(const std::string& name, int64_t bytes) {
    const std::string path = platform::JoinPath(platform::PrivateTempFolder(), name);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::ftruncate(fd, bytes) != 0) std::perror("sparse file");
    if (fd >= 0) ::close(fd);
    return path;
}

// Reads the file once so that neither run pays for filling the page cache.
void Warm(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<uint8_t> buf(8 * 1024 * 1024);
    while (fd >= 0 && ::read(fd, buf.data(), buf.size()) > 0) {
    }
    if (fd >= 0) ::close(fd);
}

double IdentityMicros(const std::string& path, int rounds) {
    std::string id;
    const auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i) LINTRA_FILEKIT::GetMD5FromFile(path.c_str(), id);
    return Seconds(t0, Clock::now()) * 1e6 / rounds;
}


int RunShell(const std::string& command) {
    const int rc = std::system(command.c_str());
    if (rc != 0) std::fprintf(stderr, "failed (%d): %s\n", rc, command.c_str());
    return rc;
}

// The console and four render PCs on links shaped to `rate`.
int LinkBench(const std::string& rate, int64_t mib) {
    const std::string veth = bench::SourceDir() + "/tools/netns-veth";
    const std::string owner = "NETNS_VETH_OWNER=" + std::to_string(::getpid()) + " ";
    const std::string shape = " root tbf rate " + rate + " burst 256kb latency 20ms";
    std::vector<Target> targets;
    for (int k = 1; k <= 4; ++k) {
        const std::string K = std::to_string(k);
        if (RunShell(owner + veth + " create " + K) != 0) return 1;
        // Both directions of the render PC's link; the console's side below.
        if (RunShell("tc qdisc add dev svveth" + K + shape) != 0 ||
            RunShell(veth + " exec " + K + " tc qdisc add dev veth0" + shape) != 0)
            return 1;
        Target t;
        t.address = "198.18." + K + ".2";
        FILE* info = ::popen((veth + " info " + K).c_str(), "r");
        char line[512] = {};
        if (!info || !std::fgets(line, sizeof line, info)) return 1;
        ::pclose(info);
        const char* holder = std::strchr(line, ' ');
        if (!holder) return 1;
        t.netns = ::open(("/proc/" + std::to_string(std::atoi(holder + 1)) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
        if (t.netns < 0) return 1;
        targets.push_back(t);
    }
    // The console has one network card: everything it sends to the four
    // leaves through the bridge device first.
    if (RunShell("tc qdisc add dev svbr0" + shape) != 0) return 1;

    const int64_t bytes = mib * 1024 * 1024;
    const std::string big = SparseFile("bench_upload_link.bin", bytes);
    Warm(big);
    const double mb = static_cast<double>(bytes) / (1024.0 * 1024.0);
    // TCP payload of full 1514-byte frames with time stamps: 1448 bytes.
    double bits = std::atof(rate.c_str());
    if (rate.find('g') != std::string::npos) bits *= 1e9;
    else if (rate.find('m') != std::string::npos) bits *= 1e6;
    const double wireMiBs = bits / 8.0 * 1448.0 / 1514.0 / (1024.0 * 1024.0);

    const std::vector<Target> one = {targets[0]};
    const double upload1 = Upload(big, one);
    const double plain1 = PlainCopy(big, one);
    const double upload4 = Upload(big, targets);
    const double plain4 = PlainCopy(big, targets);
    std::printf("links                %s (tc tbf), console side shaped the same\n", rate.c_str());
    std::printf("file                 %lld MiB (sparse)\n", static_cast<long long>(mib));
    std::printf("TCP payload limit    %9.1f MiB/s\n", wireMiBs);
    std::printf("one server: upload   %8.3f s  %9.1f MiB/s\n", upload1, mb / upload1);
    std::printf("one server: plain    %8.3f s  %9.1f MiB/s\n", plain1, mb / plain1);
    std::printf("one server: plain / upload time %5.2f\n", plain1 / upload1);
    std::printf("four at once: upload %8.3f s  %9.1f MiB/s each\n", upload4, mb / upload4);
    std::printf("four at once: plain  %8.3f s  %9.1f MiB/s each\n", plain4, mb / plain4);
    std::printf("four at once: plain / upload time %5.2f\n", plain4 / upload4);
    std::printf("four at once: wire limit %6.3f s, upload reaches %.2f of it\n", 4 * mb / wireMiBs,
                4 * mb / wireMiBs / upload4);
    ::unlink(big.c_str());
    for (const Target& t : targets) ::close(t.netns);
    for (int k = 1; k <= 4; ++k) RunShell(veth + " delete " + std::to_string(k));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--link") == 0) {
        // Fixed addresses and shaped links only in a namespace of our own.
        if (!bench::InOwnNamespace(argc, argv)) return 1;
        std::string rate = "1gbit";
        int64_t mib = 1024;
        for (int i = 2; i < argc; ++i) {
            if (std::isalpha(static_cast<unsigned char>(argv[i][std::strlen(argv[i]) - 1])))
                rate = argv[i];
            else
                mib = std::max(1LL, std::atoll(argv[i]));
        }
        return LinkBench(rate, mib);
    }
    const int64_t mib = argc > 1 ? std::max(1LL, std::atoll(argv[1])) : 64;
    const int64_t bytes = mib * 1024 * 1024;
    const std::string big = SparseFile("bench_upload.bin", bytes);
    const std::string small = SparseFile("bench_1mib.bin", 1024 * 1024);

    Warm(big);
    const double upload = Upload(big);
    const double plain = PlainCopy(big);
    const double mb = static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf("file                 %lld MiB (sparse)\n", static_cast<long long>(mib));
    std::printf("upload (1201-1204)   %8.3f s  %9.1f MiB/s\n", upload, mb / upload);
    std::printf("plain socket copy    %8.3f s  %9.1f MiB/s\n", plain, mb / plain);
    std::printf("upload / plain time  %8.2f\n", upload / plain);
    std::printf("identity of 1 MiB    %8.1f us\n", IdentityMicros(small, 200));
    std::printf("identity of %lld MiB %8.1f us\n", static_cast<long long>(mib), IdentityMicros(big, 200));

    ::unlink(big.c_str());
    ::unlink(small.c_str());
    return 0;
}
