#include "kestrane/commandmonitor.h"

#include <QMutex>
#include <QMutexLocker>

#include <deque>

namespace kestrane::monitor {
namespace {

struct ChunkQueue {
    QMutex mutex;
    std::deque<QByteArray> chunks;
};

// Process-wide and never destroyed: a library thread may still be in the
// callback while the program ends.
ChunkQueue& queue() {
    static auto* q = new ChunkQueue;
    return *q;
}

}  // namespace

void onNetworkCommand(const char* data, int length, void*) {
    if (!data || length <= 0)
        return;
    QByteArray chunk(data, length);
    ChunkQueue& q = queue();
    QMutexLocker lock(&q.mutex);
    while (q.chunks.size() >= kQueueCap)
        q.chunks.pop_front();
    q.chunks.push_back(std::move(chunk));
}

QList<QByteArray> takeChunks() {
    std::deque<QByteArray> taken;
    {
        ChunkQueue& q = queue();
        QMutexLocker lock(&q.mutex);
        taken.swap(q.chunks);
    }
    QList<QByteArray> out;
    out.reserve(int(taken.size()));
    for (QByteArray& c : taken)
        out << std::move(c);
    return out;
}

std::size_t queuedChunks() {
    ChunkQueue& q = queue();
    QMutexLocker lock(&q.mutex);
    return q.chunks.size();
}

}  // namespace kestrane::monitor
