// MIDI input on the ALSA sequencer. Every device object is a sequencer client
// of its own with one writable port, subscribed to the readable port of the
// device; events are turned back into short messages.
#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "lintra/midiin.h"

namespace midi {

namespace {

constexpr const char* kSequencerDevice = "/dev/snd/seq";

// Device list as last counted; indexes given to Open refer to it.
struct DeviceList {
    std::mutex mu;
    std::vector<snd_seq_addr_t> addrs;
};

DeviceList& Devices() {
    static DeviceList* d = new DeviceList;
    return *d;
}

bool HaveSequencer() { return ::access(kSequencerDevice, F_OK) == 0; }

std::vector<snd_seq_addr_t> ListInputs() {
    std::vector<snd_seq_addr_t> out;
    // Without the device node alsa-lib would print its own complaint; no
    // sequencer simply means no devices.
    if (!HaveSequencer()) return out;
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) return out;
    const int self = snd_seq_client_id(seq);
    snd_seq_client_info_t* cinfo;
    snd_seq_port_info_t* pinfo;
    snd_seq_client_info_alloca(&cinfo);
    snd_seq_port_info_alloca(&pinfo);
    snd_seq_client_info_set_client(cinfo, -1);
    while (snd_seq_query_next_client(seq, cinfo) >= 0) {
        const int client = snd_seq_client_info_get_client(cinfo);
        if (client == SND_SEQ_CLIENT_SYSTEM || client == self) continue;  // timer and announcements
        snd_seq_port_info_set_client(pinfo, client);
        snd_seq_port_info_set_port(pinfo, -1);
        while (snd_seq_query_next_port(seq, pinfo) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(pinfo);
            const unsigned need = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
            if ((caps & need) != need || (caps & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
            out.push_back(*snd_seq_port_info_get_addr(pinfo));
        }
    }
    snd_seq_close(seq);
    return out;
}

class AlsaPort : public MidiInPort {
public:
    explicit AlsaPort(int wakeFd) : wakeFd_(wakeFd) {}
    ~AlsaPort() override {
        Release();
        ::close(wakeFd_);
    }

    int Open(int deviceIndex) override {
        Release();
        {
            DeviceList& d = Devices();
            std::lock_guard<std::mutex> lock(d.mu);
            if (deviceIndex < 0 || static_cast<size_t>(deviceIndex) >= d.addrs.size()) return -ENODEV;
            src_ = d.addrs[static_cast<size_t>(deviceIndex)];
        }
        if (!HaveSequencer()) return -ENODEV;
        int r = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
        if (r < 0) {
            seq_ = nullptr;
            return r;
        }
        snd_seq_set_client_name(seq_, "Lintra MIDI input");
        port_ = snd_seq_create_simple_port(seq_, "input", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                           SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (port_ < 0) {
            r = port_;
            Release();
            return r;
        }
        r = snd_midi_event_new(64, &parser_);
        if (r < 0) {
            parser_ = nullptr;
            Release();
            return r;
        }
        snd_midi_event_no_status(parser_, 1);  // every message with its status byte
        return 0;
    }

    int Start() override {
        if (!seq_) return -EBADF;
        int r = snd_seq_connect_from(seq_, port_, src_.client, src_.port);
        if (r < 0) return r;
        connected_ = true;
        return 0;
    }

    void Reset() override {
        if (!seq_) return;
        if (connected_) snd_seq_disconnect_from(seq_, port_, src_.client, src_.port);
        connected_ = false;
        snd_seq_drop_input(seq_);
        if (parser_) snd_midi_event_reset_decode(parser_);
        uint64_t v;
        while (::read(wakeFd_, &v, sizeof v) > 0) {
        }
    }

    int Close() override {
        if (!seq_) return 0;
        if (connected_) snd_seq_disconnect_from(seq_, port_, src_.client, src_.port);
        connected_ = false;
        if (parser_) snd_midi_event_free(parser_);
        parser_ = nullptr;
        int r = snd_seq_close(seq_);
        seq_ = nullptr;
        return r < 0 ? r : 0;
    }

    int Receive(uint32_t* msg) override {
        if (!seq_) return -EBADF;
        for (;;) {
            snd_seq_event_t* ev = nullptr;
            int r = snd_seq_event_input(seq_, &ev);
            if (r >= 0 && ev) {
                uint32_t m;
                if (Decode(ev, &m)) {
                    *msg = m;
                    return 1;
                }
                continue;  // system exclusive, announcements and the like
            }
            if (r == -ENOSPC) continue;  // input overran; go on with what comes next
            if (r != -EAGAIN) return r;

            std::vector<struct pollfd> fds(1);
            fds[0] = {wakeFd_, POLLIN, 0};
            int n = snd_seq_poll_descriptors_count(seq_, POLLIN);
            if (n > 0) {
                fds.resize(1 + static_cast<size_t>(n));
                snd_seq_poll_descriptors(seq_, fds.data() + 1, static_cast<unsigned>(n), POLLIN);
            }
            int pr = ::poll(fds.data(), fds.size(), -1);
            if (pr < 0 && errno != EINTR) return -errno;
            if (fds[0].revents & POLLIN) {
                uint64_t v;
                while (::read(wakeFd_, &v, sizeof v) > 0) {
                }
                return 0;
            }
            for (size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents & (POLLERR | POLLNVAL)) return -EIO;
        }
    }

    void Wake() override {
        uint64_t one = 1;
        ssize_t r = ::write(wakeFd_, &one, sizeof one);
        (void)r;
    }

private:
    bool Decode(const snd_seq_event_t* ev, uint32_t* msg) {
        if (!parser_) return false;
        unsigned char bytes[16];
        long n = snd_midi_event_decode(parser_, bytes, sizeof bytes, ev);
        // A short message is one status byte and up to two data bytes; the
        // rest (system exclusive, non-MIDI events) is dropped.
        if (n < 1 || n > 3 || bytes[0] < 0x80 || bytes[0] == 0xF0 || bytes[0] == 0xF7) return false;
        uint32_t m = bytes[0];
        if (n > 1) m |= static_cast<uint32_t>(bytes[1]) << 8;
        if (n > 2) m |= static_cast<uint32_t>(bytes[2]) << 16;
        *msg = m;
        return true;
    }

    void Release() {
        if (parser_) snd_midi_event_free(parser_);
        parser_ = nullptr;
        if (seq_) snd_seq_close(seq_);
        seq_ = nullptr;
        connected_ = false;
        port_ = -1;
    }

    int wakeFd_;
    snd_seq_t* seq_ = nullptr;
    snd_midi_event_t* parser_ = nullptr;
    int port_ = -1;
    snd_seq_addr_t src_{};
    bool connected_ = false;
};

class AlsaBackend : public MidiInBackend {
public:
    int DeviceCount() override {
        std::vector<snd_seq_addr_t> list = ListInputs();
        DeviceList& d = Devices();
        std::lock_guard<std::mutex> lock(d.mu);
        d.addrs = std::move(list);
        return static_cast<int>(d.addrs.size());
    }

    std::unique_ptr<MidiInPort> CreatePort() override {
        int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (fd < 0) return nullptr;
        return std::make_unique<AlsaPort>(fd);
    }

    std::string ErrorText(int code) override { return snd_strerror(code); }
};

}  // namespace

MidiInBackend& SystemMidiInBackend() {
    static AlsaBackend* backend = new AlsaBackend;
    return *backend;
}

}  // namespace midi
