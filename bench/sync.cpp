// How closely two display servers keeping sync play the same clip: a main
// server and a slave, each in its own network namespace with its own X
// server (tools/netns-veth through e2e::RemoteServer), SyncMedia on. Both are
// asked for the clip's position (516) at the same instant on two
// connections; each answer is placed at the middle of its own round trip and
// the two positions compared at one instant. Prints the median, the 99th
// percentile and the largest offset in milliseconds and in frames, while
// playing, after a seek and after a pause and resume. Prints figures only.
//
//   bench_sync [seconds per phase] [--distime MS]
//       60 s per phase by default; --distime writes [SyncMedia] DisTime (the
//       distance in milliseconds above which a slave moves to the main
//       server's position, 80 unless set) into both servers' mediacfg.ini.
//
// Runs itself under tools/netns-run: nothing reaches a real interface.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lintra/ClientSession.h"
#include "lintra/netdef.h"
#include "own_namespace.h"
#include "support/RemoteServer.h"
#include "support/support.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr double kFps = 30.0;
constexpr auto kSampleEvery = 50ms;

tagNETHEAD Command(uint32_t code, int32_t handle = 0, double real = 0.0) {
    tagNETHEAD head;
    lintra::InitHead(head, code);
    head.intParam[0] = handle;
    head.realParam[0] = real;
    return head;
}

// One position answer, placed at the middle of its round trip.
struct Reading {
    bool ok = false;
    double position = 0;  // seconds
    double at = 0;        // seconds since the start, middle of the round trip
    double roundTrip = 0;
};

Reading Ask(CClientSession& session, Clock::time_point origin) {
    tagNETHEAD head = Command(516);
    const auto t0 = Clock::now();
    const int r = session.SendSimpleCommand(head);
    const auto t1 = Clock::now();
    Reading out;
    out.ok = r == 1 && head.intParam[0] == 1;
    out.position = head.realParam[0];
    out.at = std::chrono::duration<double>(t0 - origin).count() +
             std::chrono::duration<double>(t1 - t0).count() / 2;
    out.roundTrip = std::chrono::duration<double>(t1 - t0).count();
    return out;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(std::ceil(p * static_cast<double>(v.size())) - 1));
    return v[i];
}

// Samples both servers at once for `seconds` and prints one line.
void Phase(const char* name, CClientSession& a, CClientSession& b, double seconds) {
    const auto origin = Clock::now();
    std::vector<double> offsets, trips;
    int failed = 0;
    Reading ra, rb;
    std::atomic<bool> stop{false};
    std::barrier start(2), done(2);
    std::thread other([&] {
        for (;;) {
            start.arrive_and_wait();
            if (stop) return;
            rb = Ask(b, origin);
            done.arrive_and_wait();
        }
    });
    const auto end = origin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    auto next = origin;
    while (Clock::now() < end) {
        start.arrive_and_wait();
        ra = Ask(a, origin);
        done.arrive_and_wait();
        if (ra.ok && rb.ok) {
            // Both clips run at rate 1: carry the slave's position to the
            // main server's instant before comparing.
            offsets.push_back(std::fabs((ra.position - (rb.position + (ra.at - rb.at)))) * 1000.0);
            trips.push_back(std::max(ra.roundTrip, rb.roundTrip) * 1000.0);
        } else {
            ++failed;
        }
        next += kSampleEvery;
        std::this_thread::sleep_until(next);
    }
    stop = true;
    start.arrive_and_wait();
    other.join();
    const double frame = 1000.0 / kFps;
    const double med = Percentile(offsets, 0.5), p99 = Percentile(offsets, 0.99), mx = Percentile(offsets, 1.0);
    std::printf("%-22s %6zu %8.2f %8.2f %8.2f   %6.2f %6.2f %6.2f   %7.2f %4d\n", name, offsets.size(), med, p99, mx,
                med / frame, p99 / frame, mx / frame, Percentile(trips, 0.5), failed);
}

}  // namespace

int main(int argc, char** argv) {
    if (!bench::InOwnNamespace(argc, argv)) return 1;
    ::setenv("SV_SOURCE_DIR", bench::SourceDir().c_str(), 0);
    double seconds = 60.0;
    int disTime = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--distime") == 0 && i + 1 < argc)
            disTime = std::atoi(argv[++i]);
        else
            seconds = std::max(1.0, std::atof(argv[i]));
    }

    testsupport::TempDir dir;
    // Long enough for three phases and the seek back; small, so that the
    // decoding of two servers does not load the machine more than the sync.
    const int clipSeconds = static_cast<int>(std::ceil(seconds * 2.5)) + 20;
    for (const char* who : {"main", "slave"}) {
        fs::create_directories(dir / who / "media");
        int status = 0;
        testsupport::RunShell("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x180:r=30 -t " +
                                  std::to_string(clipSeconds) +
                                  " -c:v libx264 -preset ultrafast -g 30 -pix_fmt yuv420p '" +
                                  (dir / who / "media" / "clip.mp4").string() + "' 2>&1",
                              &status);
        if (status != 0) {
            std::fprintf(stderr, "ffmpeg failed\n");
            return 1;
        }
        if (disTime >= 0)
            testsupport::WriteFile(dir / who / "mediacfg.ini",
                                   "[SyncMedia]\nDisTime=" + std::to_string(disTime) + "\n");
    }

    e2e::RemoteServer main, slave;
    main.screen = slave.screen = "640x360x24";
    if (!main.Start(1, dir / "main") || !slave.Start(2, dir / "slave")) {
        std::fprintf(stderr, "servers did not start:\n%s\n%s\n", main.ErrorText().c_str(), slave.ErrorText().c_str());
        return 1;
    }
    auto control = main.ConnectSession();
    auto toMain = main.ConnectSession();
    auto toSlave = slave.ConnectSession();
    if (!control || !toMain || !toSlave) {
        std::fprintf(stderr, "no session\n");
        return 1;
    }
    tagNETHEAD role = e2e::SyncRoleCommand(1, 1);
    control->SendSimpleCommand(role);
    role = e2e::SyncRoleCommand(1, 0);
    toSlave->SendSimpleCommand(role);

    // The slave joins once the main server's records name it (sent on play).
    const bool joined = testsupport::WaitUntil(
        [&] {
            tagNETHEAD play = Command(506);
            control->SendSimpleCommand(play);
            return main.Log().find(" 新的节点加入。198.18.2.2") != std::string::npos;
        },
        60s);
    if (!joined) {
        std::fprintf(stderr, "the slave never reached the main server\n");
        return 1;
    }
    // The clip on the main server, which has the slave load it too; then
    // play until both answer with a running position.
    tagNETHEAD add = Command(504, 0);
    std::strncpy(add.textParam, "clip.mp4", sizeof add.textParam - 1);
    control->SendSimpleCommand(add);
    const bool running = testsupport::WaitUntil(
        [&] {
            tagNETHEAD play = Command(506);
            control->SendSimpleCommand(play);
            const Reading a = Ask(*toMain, Clock::now()), b = Ask(*toSlave, Clock::now());
            return a.ok && b.ok && a.position > 0.5 && b.position > 0.5;
        },
        60s);
    if (!running) {
        std::fprintf(stderr, "the clip does not play on both servers\nmain log:\n%s\nslave log:\n%s\n",
                     main.Log().c_str(), slave.Log().c_str());
        return 1;
    }
    // Let the slave take its first sync records before measuring.
    std::this_thread::sleep_for(2s);

    std::printf("two servers keeping sync, %.0f fps clip, %.0f s per phase, a sample every %lld ms, DisTime %s\n",
                kFps, seconds, static_cast<long long>(kSampleEvery.count()),
                disTime >= 0 ? std::to_string(disTime).c_str() : "80 (default)");
    std::printf("%-22s %6s %8s %8s %8s   %6s %6s %6s   %7s %4s\n", "phase", "n", "med ms", "p99 ms", "max ms",
                "med fr", "p99 fr", "max fr", "rtt ms", "fail");
    Phase("playing", *toMain, *toSlave, seconds);

    tagNETHEAD seek = Command(517, 0, 10.0);
    control->SendSimpleCommand(seek);
    Phase("after a seek", *toMain, *toSlave, seconds);

    tagNETHEAD pause = Command(507);
    control->SendSimpleCommand(pause);
    std::this_thread::sleep_for(1s);
    tagNETHEAD play = Command(506);
    control->SendSimpleCommand(play);
    Phase("after pause/resume", *toMain, *toSlave, seconds);
    return 0;
}
