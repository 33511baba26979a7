// The add-device dialog's connection test against a whole display server in
// its own namespace, and against an address nothing answers.
#include <QLineEdit>

#include "kestrane/adddevicedialog.h"
#include "support/ProjectTest.h"
#include "support/RemoteServer.h"
#include "support/ScriptedPrompts.h"

namespace {

class AddDeviceE2E : public ProjectTest {
protected:
    static QLineEdit* field(QDialog& d, const char* name) { return d.findChild<QLineEdit*>(QLatin1String(name)); }
};

TEST_F(AddDeviceE2E, TheTestButtonReachesARealServerAndReportsAnUnreachableOne) {
    testsupport::TempDir dir;
    e2e::RemoteServer server;
    ASSERT_TRUE(server.Start(1, dir / "wall")) << server.ErrorText();

    struct Case {
        QString ip;
        QString text;
    } cases[] = {
        {QString::fromStdString(server.Address()), q("当前设备可以连接")},
        // No route from the test's namespace.
        {q("10.9.9.9"), q("当前设备无法连接")},
    };
    for (const Case& c : cases) {
        DeviceRecord r;
        AddDeviceDialog d(&r, 0);
        field(d, "ip")->setText(c.ip);
        ScriptedPrompts prompts;
        prompts.answer(QMessageBox::Ok);
        d.testDevice();
        EXPECT_EQ(prompts.titles(), QStringList{q("连线测试")}) << c.ip.toStdString();
        EXPECT_EQ(prompts.texts(), QStringList{c.text}) << c.ip.toStdString();
    }
    // The test leaves no connection behind: the server still takes a new one.
    EXPECT_TRUE(e2e::WaitForPort(30100, std::chrono::seconds(10), server.Address()));
}

}  // namespace
