#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QWidget>

#include "kestrane/prompt.h"
#include "support/QtWidgetTestApp.h"
#include "support/ScriptedPrompts.h"

namespace prompt = kestrane::prompt;
using Request = kestrane::PromptRequest;

namespace {

TEST(PromptQt, MessageBoxesPassTheCallersWordsAndReturnTheScriptedButton) {
    testApp();
    QWidget panel;
    ScriptedPrompts prompts;
    prompts.answer(QMessageBox::Ok).answer(QMessageBox::No).answer(QMessageBox::Cancel).answer(QMessageBox::Ok);

    EXPECT_EQ(prompt::warning(&panel, "操作出错", "请先添加设备"), QMessageBox::Ok);
    EXPECT_EQ(prompt::question(&panel, "保存确认", "是否先保存当前项目？", QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No),
              QMessageBox::No);
    EXPECT_EQ(prompt::question(nullptr, "退出", "?", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                               QMessageBox::Cancel),
              QMessageBox::Cancel);
    EXPECT_EQ(prompt::information(&panel, "导入完毕", "未导入新的媒体"), QMessageBox::Ok);

    const QVector<Request>& calls = prompts.calls();
    ASSERT_EQ(calls.size(), 4);
    EXPECT_EQ(calls[0].kind, Request::Warning);
    EXPECT_EQ(calls[0].parent, &panel);
    EXPECT_EQ(calls[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(calls[1].kind, Request::Question);
    EXPECT_EQ(calls[1].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(calls[1].defaultButton, QMessageBox::No);
    EXPECT_EQ(calls[2].parent, nullptr);
    EXPECT_EQ(calls[2].defaultButton, QMessageBox::Cancel);
    EXPECT_EQ(calls[3].kind, Request::Information);
    EXPECT_EQ(prompts.titles(), QStringList({"操作出错", "保存确认", "退出", "导入完毕"}));
    EXPECT_EQ(prompts.texts()[1], "是否先保存当前项目？");
}

TEST(PromptQt, FileDialogsGiveTheScriptedPathsOrNothingWhenCancelled) {
    testApp();
    ScriptedPrompts prompts;
    prompts.answerPath("/tmp/show.vadra")
        .answerPath("")
        .answerPaths({"/m/a.mp4", "/m/b.png"})
        .answerPaths({})
        .answerPath("/tmp/out.vadra")
        .answerPath("/m/folder");

    EXPECT_EQ(prompt::openFileName(nullptr, "打开项目", QString(), "Vadra(*.vadra)"), "/tmp/show.vadra");
    EXPECT_EQ(prompt::openFileName(nullptr, "打开项目", QString(), "Vadra(*.vadra)"), QString());
    EXPECT_EQ(prompt::openFileNames(nullptr, "添加视频、图片(可多选)", QString(), "media(*.mp4 *.png)"),
              QStringList({"/m/a.mp4", "/m/b.png"}));
    EXPECT_TRUE(prompt::openFileNames(nullptr, "添加视频、图片(可多选)").isEmpty());
    EXPECT_EQ(prompt::saveFileName(nullptr, "保存为", QString(), "Vadra(*.vadra)"), "/tmp/out.vadra");
    EXPECT_EQ(prompt::existingDirectory(nullptr, "选择媒体文件夹"), "/m/folder");

    const QVector<Request>& calls = prompts.calls();
    ASSERT_EQ(calls.size(), 6);
    const Request::Kind kinds[] = {Request::OpenFile,  Request::OpenFile, Request::OpenFiles,
                                   Request::OpenFiles, Request::SaveFile, Request::Directory};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(calls[i].kind, kinds[i]) << i;
    EXPECT_EQ(calls[0].filter, "Vadra(*.vadra)");
    EXPECT_EQ(calls[4].title, "保存为");
    EXPECT_EQ(calls[5].options, QFileDialog::ShowDirsOnly);
    EXPECT_FALSE(calls[5].isMessage());
}

TEST(PromptQt, ACallbackAnswersWhatTheQueueDoesNotAndProvidersNest) {
    testApp();
    ScriptedPrompts outer;
    {
        ScriptedPrompts inner;
        inner.answer(QMessageBox::Yes).onAsk([](const Request& r) {
            kestrane::PromptAnswer a;
            a.button = r.defaultButton;
            a.paths << "/from/callback";
            return a;
        });
        EXPECT_EQ(prompt::question(nullptr, "删除确认", "?"), QMessageBox::Yes);
        EXPECT_EQ(prompt::question(nullptr, "删除确认", "?", QMessageBox::Yes | QMessageBox::No, QMessageBox::No),
                  QMessageBox::No);
        EXPECT_EQ(prompt::existingDirectory(nullptr, "x"), "/from/callback");
        EXPECT_EQ(inner.calls().size(), 3);
    }
    EXPECT_EQ(kestrane::promptProvider(), &outer);
    EXPECT_TRUE(outer.calls().isEmpty());
}

TEST(PromptQt, ScriptMistakesFailTheTestInsteadOfWaiting) {
    testApp();
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPrompts prompts;
            EXPECT_EQ(prompt::warning(nullptr, "填写错误", "请填写输入名称"), QMessageBox::NoButton);
        },
        "unscripted prompt: warning \"填写错误\": \"请填写输入名称\"");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPrompts prompts;
            prompts.answerPath("/x");
            EXPECT_EQ(prompt::warning(nullptr, "t", "x"), QMessageBox::NoButton);
        },
        "scripted a path but the code asked: warning");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPrompts prompts;
            prompts.answer(QMessageBox::Yes);
            prompt::warning(nullptr, "t", "x");
        },
        "is not offered by");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPrompts prompts;
            prompts.answer(QMessageBox::Ok);
        },
        "1 scripted prompt answer(s) never asked for");
    EXPECT_EQ(kestrane::promptProvider(), nullptr);
}

TEST(PromptQtDeathTest, WithoutAProviderTheOffscreenPlatformStopsAtTheFirstDialog) {
    testApp();
    ASSERT_EQ(kestrane::promptProvider(), nullptr);
    EXPECT_DEATH(prompt::question(nullptr, "删除确认", "继续？"), "unanswerable dialog.*删除确认.*继续？");
}

}  // namespace
