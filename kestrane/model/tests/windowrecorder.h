// Answers for every window of the console and records, as one line of text
// each, what the configuration object asked of them.
#pragma once

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include "kestrane/consolehooks.h"

class WindowRecorder : public ConsoleHooks {
public:
    QStringList log;
    // Answers
    int position = 0;
    StageViewport view;
    QList<int> roles;          // role of each time-axis row
    QSet<int> lockedRows;
    QList<int> selectedMedia;  // the stage's selected media items
    bool deviceTree = true;

    // Lines that begin with prefix.
    QStringList only(const QString& prefix) const { return log.filter(QRegularExpression(QLatin1Char('^') + prefix)); }

    // Time axis
    int playPosition() const override { return position; }
    void setPlayPosition(int ms) override { position = ms; }
    void pause() override { note(QStringLiteral("pause")); }
    void refreshRows(int flag) override { note(QStringLiteral("refreshRows %1").arg(flag)); }
    void setAxisLength(int ms, bool extend) override { note(QStringLiteral("axis %1 %2").arg(ms).arg(extend)); }
    int layerRowCount() const override { return roles.size(); }
    int layerRowRole(int row) const override { return roles.value(row); }
    bool isLayerLocked(int row) const override { return lockedRows.contains(row); }
    void setLayerRowChecked(int row, bool on) override { note(QStringLiteral("check %1 %2").arg(row).arg(on)); }
    void setEffectRowSelected(int row, bool on) override { note(QStringLiteral("effect %1 %2").arg(row).arg(on)); }
    void setMediaBlockSelected(int id, bool on) override { note(QStringLiteral("block %1 %2").arg(id).arg(on)); }
    void addEffect(int row, int kind, int mediaId, const QList<int>& keys) override {
        QStringList k;
        for (int id : keys) k.append(QString::number(id));
        note(QStringLiteral("addEffect %1 %2 %3 [%4]").arg(row).arg(kind).arg(mediaId).arg(k.join(QLatin1Char(','))));
    }
    void removeLayerIOBlock(int id) override { note(QStringLiteral("removeIOBlock %1").arg(id)); }

    // Stage
    void setTitleText(const QString& text) override { note(QStringLiteral("title ") + text); }
    void setItemInfo(int id, bool device, double x, double y, double z) override {
        note(QStringLiteral("info %1 %2 %3 %4 %5").arg(id).arg(device).arg(x).arg(y).arg(z));
    }
    void clearItemInfo() override { note(QStringLiteral("clearInfo")); }
    StageViewport viewport() const override { return view; }
    void applyZoom(double zoom) override { note(QStringLiteral("zoom %1").arg(zoom)); }
    void setScrollValues(int h, int v) override { note(QStringLiteral("scroll %1 %2").arg(h).arg(v)); }
    void showCustomScale(double zoom) override { note(QStringLiteral("customScale %1").arg(zoom)); }
    void setHandCursor(bool on) override { note(QStringLiteral("hand %1").arg(on)); }
    void advanceScene() override { note(QStringLiteral("advance")); }
    void updateScene() override { note(QStringLiteral("update")); }
    void clearStageSelection() override { note(QStringLiteral("clearSelection")); }
    QList<int> selectedMediaIds() const override { return selectedMedia; }
    void setMediaItemSelected(int id, bool on) override { note(QStringLiteral("item %1 %2").arg(id).arg(on)); }
    void removeDeviceItem(int id) override { note(QStringLiteral("stageRemove %1").arg(id)); }

    // Main window
    void setSelectMode(bool media, bool lock) override { note(QStringLiteral("selectMode %1 %2").arg(media).arg(lock)); }

    // Side panels
    bool hasDeviceTree() const override { return deviceTree; }
    void removeTreeItem(int id) override { note(QStringLiteral("treeRemove %1").arg(id)); }
    void showMediaAttribute(int id, bool tab) override { note(QStringLiteral("showMedia %1 %2").arg(id).arg(tab)); }
    void showDeviceAttribute(int id, bool tab) override { note(QStringLiteral("showDevice %1 %2").arg(id).arg(tab)); }
    void updateDeviceNames() override { note(QStringLiteral("deviceNames")); }
    void selectMediaRows(const QList<qint64>& keys) override {
        QStringList k;
        for (qint64 key : keys) k.append(QString::number(key));
        note(QStringLiteral("rows [%1]").arg(k.join(QLatin1Char(','))));
    }

private:
    void note(const QString& line) { log.append(line); }
};
