// Fixture of the console's panel and dialog tests: a fresh configuration
// folder (so setting.ini starts empty) and an empty project in GConfig.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>

#include <cstdlib>
#include <string>

#include "kestrane/gconfig.h"
#include "support/QtWidgetTestApp.h"
#include "support/support.h"

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        m_hadConfig = old != nullptr;
        if (old) m_oldConfig = old;
        setenv("XDG_CONFIG_HOME", m_dir.str().c_str(), 1);
        testApp();
        resetProject();
    }
    void TearDown() override {
        QCoreApplication::processEvents();
        resetProject();
        if (m_hadConfig)
            setenv("XDG_CONFIG_HOME", m_oldConfig.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    static void resetProject() {
        GConfig& c = GConfig::instance();
        c.devices().clear();
        c.deviceFolders.clear();
        c.setConnected(false);
        c.setSaved(true);
    }
    // A device record under `id`.
    static DeviceRecord& addRecord(int id, const QString& name, const QString& ip = QStringLiteral("10.0.0.1"),
                                   int output = 1, int width = 1920, int height = 1080) {
        DeviceRecord d;
        d.name = name;
        d.serverIp = ip;
        d.outputIndex = output;
        d.width = width;
        d.height = height;
        GConfig::instance().devices().insert(id, d);
        return GConfig::instance().devices()[id];
    }
    static QString q(const char* utf8) { return QString::fromUtf8(utf8); }

    testsupport::TempDir m_dir;
    std::string m_oldConfig;
    bool m_hadConfig = false;
};
