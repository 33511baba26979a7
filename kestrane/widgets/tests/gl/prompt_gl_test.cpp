// The product path of the prompt functions: Qt's own dialogs on a real
// (virtual) X display, answered by a timer as an operator would.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "kestrane/prompt.h"
#include "support/QtWidgetTestApp.h"

namespace prompt = kestrane::prompt;

namespace {

// Waits (in the dialog's own event loop) for the modal dialog to appear and
// hands it to `answer`; a dialog the handler leaves open is rejected so the
// test never waits for ever.
class Operator {
public:
    explicit Operator(std::function<void(QWidget*)> answer) : m_answer(std::move(answer)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(10);
    }
    bool answered() const { return m_answered; }

private:
    void poll() {
        if (!m_answered) {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                m_answered = true;
                m_dialog = modal;
                m_answer(modal);
            }
            return;
        }
        // Still open after the answer (a failed check): close it.
        if (auto* dialog = qobject_cast<QDialog*>(m_dialog.data()); dialog && dialog->isVisible())
            dialog->reject();
        else
            m_timer.stop();
    }
    std::function<void(QWidget*)> m_answer;
    QTimer m_timer;
    QPointer<QWidget> m_dialog;
    bool m_answered = false;
};

TEST(PromptGl, QuestionShowsTheCallersBoxAndReturnsTheButtonPressed) {
    testApp();
    ASSERT_EQ(kestrane::promptProvider(), nullptr);
    Operator op([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "删除确认");
        EXPECT_EQ(box->text(), "以下媒体文件已被应用：\na.mp4\n是否确定删除？");
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::No);
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(prompt::question(nullptr, "删除确认", "以下媒体文件已被应用：\na.mp4\n是否确定删除？",
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No),
              QMessageBox::Yes);
    EXPECT_TRUE(op.answered());
}

TEST(PromptGl, WarningHasItsIconAndOneOkButton) {
    testApp();
    Operator op([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "操作出错");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompt::warning(nullptr, "操作出错", "连接状态下无法打开新项目！"), QMessageBox::Ok);
}

TEST(PromptGl, FileDialogsTakeCaptionFolderAndFilterAndGiveTheChoiceOrNothing) {
    testApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("show.vadra");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    Operator open([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr) << "not Qt's own file dialog";
        EXPECT_EQ(dialog->windowTitle(), "打开项目");
        EXPECT_EQ(dialog->nameFilters(), QStringList{"Vadra(*.vadra)"});
        EXPECT_EQ(dialog->directory().absolutePath(), dir.path());
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        dialog->selectFile(file);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
    });
    EXPECT_EQ(prompt::openFileName(nullptr, "打开项目", dir.path(), "Vadra(*.vadra)"), file);

    Operator cancel([](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        dialog->reject();
    });
    EXPECT_EQ(prompt::saveFileName(nullptr, "保存为", dir.path(), "Vadra(*.vadra)"), QString());

    Operator folder([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "选择媒体文件夹");
        EXPECT_EQ(dialog->directory().absolutePath(), dir.path());
        EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
        EXPECT_NE(dialog->fileMode(), QFileDialog::ExistingFile);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
    });
    EXPECT_EQ(prompt::existingDirectory(nullptr, "选择媒体文件夹", dir.path()), dir.path());
}

}  // namespace
