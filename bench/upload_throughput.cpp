// Upload throughput of a sparse file to a loopback receiver that writes to
// /dev/null, beside a plain socket copy of the same bytes, and the time of
// the sampled file identity.
//
//   bench_upload_throughput            64 MiB file
//   bench_upload_throughput <MiB>      a file of that many MiB (1024 for 1 GiB)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lintra/KestraneStageServer.h"
#include "lintra/filekit.h"
#include "lintra/netcodes.h"
#include "lintra/netdef.h"
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

int Listen(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
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

double PlainCopy(const std::string& path) {
    uint16_t port = 0;
    const int lfd = Listen(port);
    std::thread rx(PlainReceiver, lfd);
    const auto t0 = Clock::now();
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<uint8_t> buf(8 * 1024 * 1024);
    ssize_t r;
    while ((r = ::read(in, buf.data(), buf.size())) > 0) WriteAll(s, buf.data(), static_cast<size_t>(r));
    ::close(in);
    ::shutdown(s, SHUT_WR);
    rx.join();
    const auto t1 = Clock::now();
    ::close(s);
    ::close(lfd);
    return Seconds(t0, t1);
}

double Upload(const std::string& path) {
    uint16_t port = 0;
    const int lfd = Listen(port);
    std::thread rx(UploadReceiver, lfd);
    CKestraneStageServer session;
    const auto t0 = Clock::now();
    int result = -1;
    if (session.ConnectServer("127.0.0.1", port, 2)) result = session.UploadFile(path.c_str(), nullptr, nullptr);
    const auto t1 = Clock::now();
    session.Disconnect();
    rx.join();
    ::close(lfd);
    if (result != 0) std::printf("upload result %d\n", result);
    return Seconds(t0, t1);
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

}  // namespace

int main(int argc, char** argv) {
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
