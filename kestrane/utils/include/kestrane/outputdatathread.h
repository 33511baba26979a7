// The thread that sends one fired string output: it opens its serial port or
// network connection, writes the text once and closes again. It works on a
// copy of the settings taken on the GUI thread, so the project may be edited,
// cleared or loaded while it runs.
#pragma once

#include <QByteArray>
#include <QThread>

namespace kestrane {

// Everything one firing needs, copied out of the project's records.
struct OutputJob {
    int layerIoId = 0;     // for the log only
    QByteArray bytes;      // the text as GB18030, sent as it stands
    int type = 0;          // 0 serial port, otherwise network
    int com = 0;           // COM number
    int baud = 0;
    int parity = 0;        // 0 none, 1 odd, 2 even
    QByteArray host;       // GB18030, as the address was typed
    int port = 0;
    bool isTcp = true;     // false: one UDP datagram
};

// What one firing came to, for the log and the tests.
enum class OutputResult { Sent, Empty, OpenFailed, BadPort, WriteFailed };

}  // namespace kestrane

class OutputDataThread : public QThread {
public:
    // The thread has no parent: it deletes itself once finished, and
    // waitForAll lets shutdown wait for it (a QThread destroyed while it
    // runs takes the program down).
    explicit OutputDataThread(const kestrane::OutputJob& job);
    ~OutputDataThread() override;

    // Makes a thread for the job and starts it; call on the GUI thread.
    static OutputDataThread* launch(const kestrane::OutputJob& job);
    // One firing on the calling thread: open, write once, close.
    static kestrane::OutputResult send(const kestrane::OutputJob& job);
    // Waits up to `ms` in all for the running threads, deletes those that
    // finished and returns how many are still running (left alone, logged).
    static int waitForAll(int ms);
    // Output threads not yet deleted.
    static int liveCount();

    kestrane::OutputResult result() const { return m_result; }

protected:
    void run() override;

private:
    kestrane::OutputJob m_job;
    kestrane::OutputResult m_result = kestrane::OutputResult::Sent;
};
