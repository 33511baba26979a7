// The console's model with three devices on two recording servers on
// loopback: devices 1 and 3 are outputs 1 and 2 of server A, device 2 is
// output 3 of server B. The calibration dialogs' commands are read off the wire.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>

#include <cstdint>
#include <string>
#include <vector>

#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"
#include "lintra/netcodes.h"
#include "platform/packed.h"
#include "support/QtSpin.h"
#include "support/QtWidgetTestApp.h"
#include "support/ScriptedServer.h"

// One command as the tests compare it: code, first two int parameters.
struct Sent {
    uint32_t code;
    int32_t a;
    int32_t b;
    bool operator==(const Sent& o) const { return code == o.code && a == o.a && b == o.b; }
};
inline std::ostream& operator<<(std::ostream& os, const Sent& s) {
    return os << "{" << s.code << ", " << s.a << ", " << s.b << "}";
}

class CalibWire : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        c.setHooks(nullptr);
        c.clearProject();
        addDevice(1, ipA, 1, "左屏", 0, 0);
        addDevice(2, ipB, 3, "右屏", 1920, 0);
        addDevice(3, ipA, 2, "下屏", 0, 1080);
        for (int id : c.deviceIds()) c.updateWorldConfigs(id);
        connectTo(ipA, a);
        connectTo(ipB, b);
        c.setConnected(true);
    }
    void TearDown() override {
        c.setConnected(false);
        c.clientSession(ipA, 2);
        c.clientSession(ipB, 2);
        c.clearProject();
        QCoreApplication::processEvents();
    }

    DeviceRecord& addDevice(int id, const QString& ip, int output, const QString& name, double x, double y) {
        DeviceRecord d;
        d.name = name;
        d.serverIp = ip;
        d.outputIndex = output;
        d.width = 1920;
        d.height = 1080;
        d.stageX = x;
        d.stageY = y;
        c.devices().insert(id, d);
        return c.devices()[id];
    }
    void connectTo(const QString& ip, const lintratest::ScriptedServer& s) {
        CKestraneStageServer* session = c.clientSession(ip, 1);
        ASSERT_NE(session, nullptr);
        ASSERT_EQ(session->ConnectServer("127.0.0.1", s.port(), 2), 1);
    }

    // The commands a server got from request `from` on.
    static std::vector<Sent> sent(const lintratest::ScriptedServer& s, size_t from = 0) {
        std::vector<Sent> out;
        const std::vector<lintratest::Request> all = s.Requests();
        for (size_t i = from; i < all.size(); ++i)
            out.push_back({all[i].head.command, all[i].head.intParam[0], all[i].head.intParam[1]});
        return out;
    }
    static std::vector<lintratest::Request> requests(const lintratest::ScriptedServer& s, size_t from = 0) {
        std::vector<lintratest::Request> all = s.Requests();
        return std::vector<lintratest::Request>(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
    }
    // Lets queued single shots run.
    static void settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }

    GConfig& c = GConfig::instance();
    const QString ipA = QStringLiteral("10.30.0.1");
    const QString ipB = QStringLiteral("10.30.0.2");
    static lintratest::Reply echo(const lintratest::Request& r) { return lintratest::Reply::Echo(r.head, 0); }
    lintratest::ScriptedServer a{&CalibWire::echo};
    lintratest::ScriptedServer b{&CalibWire::echo};
};
