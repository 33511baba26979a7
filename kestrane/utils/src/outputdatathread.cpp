#include "kestrane/outputdatathread.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QSet>

#include "lintra/ioctrl.h"

#include "kestrane/logging.h"
#define OLOG KESTRANE_DEBUG_HERE

using kestrane::OutputJob;
using kestrane::OutputResult;

namespace {

// Threads made and not yet deleted; touched on the GUI thread only (made
// there, deleted there by deleteLater or waitForAll).
QSet<OutputDataThread*>& liveThreads() {
    static QSet<OutputDataThread*> threads;
    return threads;
}

}  // namespace

OutputDataThread::OutputDataThread(const OutputJob& job) : m_job(job) { liveThreads().insert(this); }

OutputDataThread::~OutputDataThread() { liveThreads().remove(this); }

OutputDataThread* OutputDataThread::launch(const OutputJob& job) {
    auto* thread = new OutputDataThread(job);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::InheritPriority);
    return thread;
}

void OutputDataThread::run() { m_result = send(m_job); }

OutputResult OutputDataThread::send(const OutputJob& job) {
    const bool serial = job.type == 0;
    void* handle = nullptr;
    if (serial) {
        handle = tolva_io_ctrl::OpenSerialPort(job.com, job.baud, job.parity, 8, 0);
    } else {
        // Stored projects may hold ports the dialog no longer takes.
        if (job.port < 1 || job.port > 65535) {
            OLOG << "output" << job.layerIoId << "has no valid port:" << job.port;
            return OutputResult::BadPort;
        }
        handle = tolva_io_ctrl::ConnectNetworkPort(job.host.constData(), job.port, job.isTcp ? 1 : 0);
    }
    if (!handle) {
        OLOG << 1 << "output" << job.layerIoId << (serial ? "serial port COM" : "network port") << job.com
             << job.host << job.port << "could not be opened";
        return OutputResult::OpenFailed;
    }
    OutputResult result = OutputResult::Empty;
    if (!job.bytes.isEmpty()) {
        const auto* data = reinterpret_cast<const uint8_t*>(job.bytes.constData());
        const int length = job.bytes.size();
        int ret = 0;
        if (serial) {
            ret = tolva_io_ctrl::WriteSerialPortData(handle, data, length);
            result = ret != 0 ? OutputResult::Sent : OutputResult::WriteFailed;
        } else {
            ret = tolva_io_ctrl::WriteNetworkData(handle, data, length);
            result = ret == length ? OutputResult::Sent : OutputResult::WriteFailed;
        }
        if (ret != 0) OLOG << "output" << job.layerIoId << "write result" << ret;
    }
    // Each firing opens afresh: a port held open would refuse the next one.
    if (serial)
        tolva_io_ctrl::CloseSerialPort(handle);
    else
        tolva_io_ctrl::CloseNetworkPort(handle);
    return result;
}

int OutputDataThread::waitForAll(int ms) {
    QDeadlineTimer deadline(ms);
    const QList<OutputDataThread*> threads = liveThreads().values();
    int running = 0;
    for (OutputDataThread* t : threads) {
        if (t->wait(deadline)) {
            delete t;
        } else {
            ++running;
            OLOG << "output thread still running at shutdown, left behind";
        }
    }
    return running;
}

int OutputDataThread::liveCount() { return liveThreads().size(); }
