// Hand-over of the command strings that arrive on the console's command
// port. The library calls onNetworkCommand on its client threads, several at
// once; it only queues the raw chunk. The time axis's poll on the GUI thread
// takes the chunks, decodes and matches them against the play controls, so
// that no record is ever read off the GUI thread.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstddef>

namespace kestrane::monitor {

// The console's command port.
constexpr int kCommandPort = 30101;
// Chunks kept until the next poll; a flood drops the oldest ones.
constexpr std::size_t kQueueCap = 256;

// The library's callback: queues a copy of the chunk.
void onNetworkCommand(const char* data, int length, void* user);
// Every queued chunk, oldest first; the queue is left empty.
QList<QByteArray> takeChunks();
std::size_t queuedChunks();

}  // namespace kestrane::monitor
