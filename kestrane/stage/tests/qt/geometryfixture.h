// Three devices on two recording display servers, connected, for the
// geometry editor's tests: devices 1 and 3 are outputs 1 and 2 of server A,
// device 2 is output 3 of server B.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdint>
#include <utility>
#include <vector>

#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"
#include "lintra/netcodes.h"
#include "platform/packed.h"
#include "support/QtSpin.h"
#include "support/QtWidgetTestApp.h"
#include "support/ScriptedServer.h"

namespace geometrytest {

using lintratest::Reply;
using lintratest::Request;
using lintratest::ScriptedServer;

// (command, first int) of every request, e.g. (1009, 1) for common-data code 1.
using Sent = std::vector<std::pair<uint32_t, int32_t>>;

inline int32_t intAt(const Request& r, size_t offset) { return platform::ReadAt<int32_t>(&r.head, offset); }

inline Sent sent(const ScriptedServer& s) {
    Sent out;
    for (const Request& r : s.Requests()) out.emplace_back(r.head.command, intAt(r, 4));
    return out;
}

// Common-data requests as (code, output index).
inline std::vector<std::pair<int, int>> commonCodes(const ScriptedServer& s) {
    std::vector<std::pair<int, int>> out;
    for (const Request& r : s.Requests())
        if (r.head.command == NETCMD::SetCommonData) out.emplace_back(intAt(r, 4), intAt(r, 8));
    return out;
}

inline size_t countOf(const ScriptedServer& s, uint32_t command) {
    size_t n = 0;
    for (const Request& r : s.Requests()) n += r.head.command == command ? 1 : 0;
    return n;
}

class GeometryTest : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        c.setHooks(nullptr);
        c.clearProject();
        addDevice(1, ipA, 1, QStringLiteral("左屏"));
        addDevice(2, ipB, 3, QStringLiteral("右屏"));
        addDevice(3, ipA, 2, QStringLiteral("顶屏"));
        connectTo(ipA, a);
        connectTo(ipB, b);
        c.setConnected(true);
        c.setSaved(true);
    }
    void TearDown() override {
        QCoreApplication::processEvents();
        c.setConnected(false);
        c.clientSession(ipA, 2);
        c.clientSession(ipB, 2);
        c.clearProject();
    }

    DeviceRecord& addDevice(int id, const QString& ip, int output, const QString& name) {
        DeviceRecord d;
        d.name = name;
        d.serverIp = ip;
        d.outputIndex = output;
        d.width = 1920;
        d.height = 1080;
        c.devices().insert(id, d);
        return c.devices()[id];
    }
    void connectTo(const QString& ip, const ScriptedServer& s) {
        CKestraneStageServer* session = c.clientSession(ip, 1);
        ASSERT_NE(session, nullptr);
        ASSERT_EQ(session->ConnectServer("127.0.0.1", s.port(), 2), 1);
    }

    GConfig& c = GConfig::instance();
    // The map keys are names only; both servers listen on 127.0.0.1.
    const QString ipA = QStringLiteral("10.30.0.1");
    const QString ipB = QStringLiteral("10.30.0.2");
    ScriptedServer a{[](const Request& r) { return Reply::Echo(r.head, 0); }};
    ScriptedServer b{[](const Request& r) { return Reply::Echo(r.head, 0); }};
};

}  // namespace geometrytest
