// The world configuration of each display server, built from the device
// records: one channel per device, the header from the server's first device.
#include <QDebug>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "kestrane/gconfig.h"

namespace {

int32_t clampToInt32(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

// A stage coordinate rounded half up and cut toward zero, as the servers
// expect; a value a damaged project file left out of range is held at the
// int32 limits rather than wrapped (NaN counts as 0).
int32_t stageEdge(double v) {
    const double t = std::trunc(v + 0.5);
    if (std::isnan(t)) return 0;
    if (t <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (t >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(t);
}

void fillChannel(CHANNEL_BASE_INFO& c, const DeviceRecord& d) {
    std::memset(&c, 0, sizeof c);
    c.channelId = d.outputIndex;
    c.blendWidth = RECT{d.blendLeft, d.blendTop, d.blendRight, d.blendBottom};
    c.rotation = d.rotation;
    const int32_t left = stageEdge(d.stageX);
    const int32_t top = stageEdge(d.stageY);
    c.rect = RECT{left, top, clampToInt32(int64_t(left) + d.width), clampToInt32(int64_t(top) + d.height)};
    std::memcpy(&c.grid, &d.grid, sizeof c.grid);
    std::memcpy(c.colorRatio, d.colorRatio, sizeof c.colorRatio);
    std::memcpy(c.colorCurve, d.colorCurve, sizeof c.colorCurve);
    std::memcpy(c.edgeParam, d.edgeParam, sizeof c.edgeParam);
}

}  // namespace

void GConfig::updateWorldConfigs(int deviceId) {
    static std::mutex worldMutex;
    std::lock_guard<std::mutex> lock(worldMutex);

    const DeviceRecord* d = device(deviceId);
    if (!d) {
        qDebug() << __FILE__ << __LINE__ << "no device" << deviceId << "for the world configuration";
        return;
    }
    auto channel = std::make_unique<CHANNEL_BASE_INFO>();
    fillChannel(*channel, *d);

    auto it = m_worlds.find(d->serverIp);
    if (it != m_worlds.end() && it->second) {
        WORLD_BASE_INFO& world = *it->second;
        int32_t count = world.channelCount;
        if (count < 0) count = 0;
        if (count > lintra::kMaxChannels) count = lintra::kMaxChannels;
        bool replaced = false;
        for (int32_t i = 0; i < count; ++i) {
            if (world.channels[i].channelId == channel->channelId) {
                std::memcpy(&world.channels[i], channel.get(), sizeof *channel);
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            if (count < lintra::kMaxChannels) {
                std::memcpy(&world.channels[count], channel.get(), sizeof *channel);
                ++count;
            } else {
                // The record has room for eight channels; the device check
                // keeps new devices within that, a loaded project may not.
                qDebug() << __FILE__ << __LINE__ << "server" << d->serverIp << "has" << lintra::kMaxChannels
                         << "channels already; device" << deviceId << "left out";
            }
        }
        world.channelCount = count;
    } else {
        auto world = std::make_unique<WORLD_BASE_INFO>();
        std::memset(world.get(), 0, sizeof *world);
        world->channelCount = 1;
        world->width = d->width;
        world->height = d->height;
        world->offsetMode = d->offsetMode;
        world->offsetX = d->offsetX;
        world->offsetY = d->offsetY;
        std::memcpy(&world->channels[0], channel.get(), sizeof *channel);
        m_worlds[d->serverIp] = std::move(world);
    }

    for (const auto& [ip, world] : m_worlds)
        if (world) qDebug() << __FILE__ << __LINE__ << "world" << ip << "channels" << world->channelCount;
}

QList<int> GConfig::devicesWithoutChannel() const {
    // As updateWorldConfigs fills the records in a round: device-id order,
    // a device on an output already given shares its channel.
    QMap<QString, QList<int>> outputs;
    QList<int> left;
    for (auto it = m_devices.constBegin(); it != m_devices.constEnd(); ++it) {
        QList<int>& used = outputs[it->serverIp];
        if (used.contains(it->outputIndex)) continue;
        if (used.size() >= lintra::kMaxChannels) {
            left.append(it.key());
            continue;
        }
        used.append(it->outputIndex);
    }
    return left;
}
