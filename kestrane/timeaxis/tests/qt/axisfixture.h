// A standalone time axis on the offscreen platform, with its model hooks
// installed and scripted answers to its questions.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTableWidgetItem>

#include <memory>

#include "kestrane/gconfig.h"
#include "kestrane/layerinfopanel.h"
#include "kestrane/layerpanel.h"
#include "kestrane/layertable.h"
#include "kestrane/prompt.h"
#include "kestrane/specialeffectinfopanel.h"
#include "kestrane/axishooks.h"
#include "kestrane/timeaxiswidget.h"
#include "support/QtWidgetTestApp.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << s.toStdString(); }

// Runs the event loop until the condition holds or 5 s have passed.
template <typename Condition>
bool waitFor(Condition condition) {
    QDeadlineTimer deadline(5000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class AxisTest : public ::testing::Test, public kestrane::PromptProvider {
protected:
    struct Prompt {
        int kind;
        QString title;
        QString text;
    };

    // Records every question and answers it with `answer`.
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        prompts.push_back({request.kind, request.title, request.text});
        kestrane::PromptAnswer a;
        if (request.kind == kestrane::PromptRequest::Question)
            a.button = answer ? QMessageBox::Yes : QMessageBox::No;
        else
            a.button = QMessageBox::Ok;
        return a;
    }

    void SetUp() override {
        static QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        testApp();
        axis = std::make_unique<TimeAxisWidget>();
        hooks = std::make_unique<AxisHooks>(axis.get());
        GConfig::instance().setTimeAxisHooks(hooks.get());
        kestrane::setPromptProvider(this);
        axis->resize(1600, 400);
        axis->show();
        ASSERT_TRUE(waitFor([this] { return table()->fillerRow() == 25 && GConfig::instance().timelineLength() > 0; }));
        QCoreApplication::processEvents();
        // Short titles, top to bottom.
        const QList<int> rows = table()->headerRows();
        for (int i = 0; i < rows.size(); ++i)
            table()->header(rows.at(i))->setTitle(QStringLiteral("L%1").arg(i + 1));
    }

    void TearDown() override {
        kestrane::setPromptProvider(nullptr);
        GConfig& config = GConfig::instance();
        config.setTimeAxisHooks(nullptr);
        axis.reset();
        config.clearProject();
        config.setSaved(true);
    }

    LayerTable* table() const { return axis->table(); }
    int rowOf(const QString& title) const {
        for (int row : table()->headerRows())
            if (table()->header(row)->title() == title)
                return row;
        return -1;
    }
    LayerInfoPanel* header(const QString& title) const { return table()->header(rowOf(title)); }
    LayerPanel* strip(const QString& title) const { return table()->strip(rowOf(title)); }

    // The rows as "L1 G1(L2 L3) L4"; an effect row out of place, or of the
    // wrong kind, shows as "!".
    QString layout() const {
        static const int kinds[] = {1, 3, 2, 4};
        QStringList out;
        bool inGroup = false;
        int effect = 4;
        for (int row = 0; row < table()->fillerRow(); ++row) {
            if (table()->isEffectRow(row)) {
                const SpecialEffectInfoPanel* e = table()->effectHeader(row);
                if (effect >= 4 || !e || e->kind() != kinds[effect] || e->row() != row)
                    out << QStringLiteral("!");
                ++effect;
                continue;
            }
            if (effect != 4 && !out.isEmpty())
                out << QStringLiteral("!");
            const LayerInfoPanel* h = table()->header(row);
            if (inGroup && h->kind() != LayerInfoPanel::ChildLayer) {
                out.last() += QLatin1Char(')');
                inGroup = false;
            }
            if (h->rowIndex() != row)
                out << QStringLiteral("!");
            if (h->isFolder()) {
                out << h->title() + QLatin1Char('(');
                inGroup = true;
                effect = 4;
            } else {
                out << h->title();
                effect = 0;
            }
        }
        if (inGroup)
            out.last() += QLatin1Char(')');
        return out.join(QLatin1Char(' ')).replace(QStringLiteral("( "), QStringLiteral("("));
    }

    // Checks exactly these rows, once new rows have asked to be current.
    void check(const QStringList& titles) {
        QCoreApplication::processEvents();
        table()->uncheckOthers({});
        for (const QString& t : titles)
            axis->markCurrentLayer(rowOf(t), true);
    }

    std::unique_ptr<TimeAxisWidget> axis;
    std::unique_ptr<AxisHooks> hooks;
    std::vector<Prompt> prompts;
    bool answer = true;
};
