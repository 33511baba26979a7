// Answers the console's message boxes and file dialogs in tests. While an
// object lives it is the prompt provider: it records every request and
// answers from its queue, then from its callback. A request with nothing
// scripted for it fails the test (and gets an empty answer) instead of
// waiting for an operator; answers left unused fail it at the end.
//
//   ScriptedPrompts prompts;
//   prompts.answer(QMessageBox::No).answerPath("/tmp/a.vadra");
//   ... run the code ...
//   ASSERT_EQ(prompts.calls().size(), 2);
//   EXPECT_EQ(prompts.calls()[0].title, "保存确认");
#pragma once

#include <gtest/gtest.h>

#include <QVector>
#include <deque>
#include <functional>

#include "kestrane/prompt.h"

class ScriptedPrompts : public kestrane::PromptProvider {
public:
    using Request = kestrane::PromptRequest;
    using Answer = kestrane::PromptAnswer;
    using Callback = std::function<Answer(const Request&)>;

    ScriptedPrompts() : m_previous(kestrane::setPromptProvider(this)) {}
    ~ScriptedPrompts() override {
        kestrane::setPromptProvider(m_previous);
        if (m_checkUnused && !m_queue.empty())
            ADD_FAILURE() << m_queue.size() << " scripted prompt answer(s) never asked for";
    }
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    // The next message box is answered with `button`, which it must offer.
    ScriptedPrompts& answer(QMessageBox::StandardButton button) {
        Answer a;
        a.button = button;
        m_queue.push_back({true, a});
        return *this;
    }
    // The next file dialog gives `path` (empty: cancelled).
    ScriptedPrompts& answerPath(const QString& path) {
        return answerPaths(path.isEmpty() ? QStringList() : QStringList{path});
    }
    ScriptedPrompts& answerPaths(const QStringList& paths) {
        Answer a;
        a.paths = paths;
        m_queue.push_back({false, a});
        return *this;
    }
    // Answers whatever the queue does not, for as long as it is set.
    ScriptedPrompts& onAsk(Callback callback) {
        m_callback = std::move(callback);
        return *this;
    }
    // Unused queued answers are fine (for tests that script "in case").
    void allowUnused() { m_checkUnused = false; }

    const QVector<Request>& calls() const { return m_calls; }
    QStringList titles() const {
        QStringList t;
        for (const Request& r : m_calls)
            t << r.title;
        return t;
    }
    QStringList texts() const {
        QStringList t;
        for (const Request& r : m_calls)
            t << r.text;
        return t;
    }
    int pending() const { return int(m_queue.size()); }
    void clear() {
        m_calls.clear();
        m_queue.clear();
    }

    Answer ask(const Request& request) override {
        m_calls.push_back(request);
        const QString what = kestrane::describePrompt(request);
        if (!m_queue.empty()) {
            const Scripted next = m_queue.front();
            m_queue.pop_front();
            if (next.isButton != request.isMessage()) {
                ADD_FAILURE() << "scripted " << (next.isButton ? "a button" : "a path")
                              << " but the code asked: " << what.toStdString();
                return Answer();
            }
            if (next.isButton && !(request.buttons & next.answer.button))
                ADD_FAILURE() << "scripted button " << int(next.answer.button)
                              << " is not offered by: " << what.toStdString();
            return next.answer;
        }
        if (m_callback)
            return m_callback(request);
        ADD_FAILURE() << "unscripted prompt: " << what.toStdString();
        return Answer();
    }

private:
    struct Scripted {
        bool isButton;
        Answer answer;
    };
    kestrane::PromptProvider* m_previous;
    std::deque<Scripted> m_queue;
    Callback m_callback;
    QVector<Request> m_calls;
    bool m_checkUnused = true;
};
