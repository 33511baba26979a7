// A time axis with a fake tick clock, a recording local preview, recorded
// outputs and, on demand, two display servers on loopback.
#pragma once

#include <QMouseEvent>

#include <vector>

#include "axisfixture.h"
#include "kestrane/timeline.h"
#include "lintra/KestraneStageServer.h"
#include "platform/packed.h"
#include "support/RecordingPreview.h"
#include "support/ScriptedServer.h"

class PlayTest : public AxisTest {
protected:
    void SetUp() override {
        AxisTest::SetUp();
        GConfig& config = GConfig::instance();
        config.setPreview(&preview);
        config.setOutputStarter([this](int id) {
            fired.push_back(id);
            return true;
        });
        axis->setClock([this] { return clock; });
        config.setTimelineLength(60000, 0);
    }

    void TearDown() override {
        GConfig& config = GConfig::instance();
        axis->pause();
        if (!servers.empty()) {
            config.setConnected(false);
            config.clientSession(QStringLiteral("10.30.0.1"), 2);
            config.clientSession(QStringLiteral("10.30.0.2"), 2);
        }
        config.setOutputStarter(nullptr);
        AxisTest::TearDown();
        config.setPreview(nullptr);
    }

    // Two servers, each holding one device, connected on loopback.
    void connectServers() {
        GConfig& config = GConfig::instance();
        servers.push_back(std::make_unique<lintratest::ScriptedServer>(
            [](const lintratest::Request& r) { return lintratest::Reply::Echo(r.head, 0); }));
        servers.push_back(std::make_unique<lintratest::ScriptedServer>(
            [](const lintratest::Request& r) { return lintratest::Reply::Echo(r.head, 0); }));
        for (int i = 0; i < 2; ++i) {
            const QString ip = QStringLiteral("10.30.0.%1").arg(i + 1);
            DeviceRecord d;
            d.serverIp = ip;
            d.outputIndex = 1;
            d.width = 1920;
            d.height = 1080;
            config.devices().insert(i + 1, d);
            CKestraneStageServer* session = config.clientSession(ip, 1);
            ASSERT_NE(session, nullptr);
            ASSERT_EQ(session->ConnectServer("127.0.0.1", servers[i]->port(), 2), 1);
        }
        config.setConnected(true);
    }

    // The command codes every server received since the last call; both
    // servers must agree.
    std::vector<uint32_t> newCodes() {
        std::vector<uint32_t> first;
        for (size_t i = 0; i < servers.size(); ++i) {
            std::vector<uint32_t> codes;
            const std::vector<lintratest::Request> all = servers[i]->Requests();
            for (size_t k = seen; k < all.size(); ++k)
                codes.push_back(all[k].head.command);
            if (i == 0)
                first = codes;
            else
                EXPECT_EQ(codes, first) << "server " << i;
        }
        seen += first.size();
        return first;
    }
    // The time (s) of the last SetCurrentTimeLine a server received.
    double lastTimeSent() const {
        const std::vector<lintratest::Request> all = servers[0]->Requests();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->head.command == 532)
                return platform::ReadAt<double>(&it->head, 44);
        return -1;
    }
    bool waitForRequests(size_t n) {
        // The time push after a seek runs from the event loop.
        return waitFor([&] {
            for (const auto& s : servers)
                if (s->RequestCount() < seen + n)
                    return false;
            return true;
        });
    }

    PlayControlRecord* addControl(int id, int type, int time) {
        PlayControlRecord rec;
        rec.id = id;
        rec.type = type;
        rec.time = time;
        rec.layerRow = rowOf(QStringLiteral("L1"));
        return GConfig::instance().addPlayControl(rec);
    }
    void addOutput(int id, int time) {
        LayerIORecord rec;
        rec.id = id;
        rec.time = time;
        rec.layerRow = rowOf(QStringLiteral("L1"));
        GConfig::instance().addLayerIO(rec);
    }
    // Starts a run at ms, then ticks after `elapsed` ms of the clock.
    void playFrom(int ms) {
        axis->setCurrentTime(ms);
        axis->play();
    }
    void step(int elapsed) {
        clock += elapsed;
        axis->playTimeLine(true);
    }

    static void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                          modifiers);
        QCoreApplication::sendEvent(w, &event);
    }

    qint64 clock = 100000;
    RecordingPreview preview;
    std::vector<int> fired;
    std::vector<std::unique_ptr<lintratest::ScriptedServer>> servers;
    size_t seen = 0;
};
