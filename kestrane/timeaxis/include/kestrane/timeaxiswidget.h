// The timeline editor at the bottom of the main window: the table of layer
// rows, the ruler, the transport bar, the zoom control and the horizontal
// scroll bar. It owns the structure of the rows, the zoom, the scrolling and
// the play position; the project data stays in GConfig.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class LayerInfoPanel;
class LayerPanel;
class LayerTable;
class QBoxLayout;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTableWidget;
class QTimer;
class RulerWidget;
class TimeAxisSlider;
class TimeLine;
class TScrollBar;

namespace kestrane::axis {
struct RowPlan;
}

class TimeAxisWidget : public QWidget {
    Q_OBJECT
public:
    // The header column's width; strips begin right of it.
    static constexpr int kHeaderWidth = 298;
    static constexpr int kLayerHeight = 42;
    static constexpr int kEffectHeight = 24;

    explicit TimeAxisWidget(QWidget* parent = nullptr);
    ~TimeAxisWidget() override;

    RulerWidget* ruler() const { return m_ruler; }
    LayerTable* table() const { return m_table; }
    TScrollBar* scrollBar() const { return m_scrollBar; }
    QSlider* zoomSlider() const { return m_zoomSlider; }
    QPushButton* playButton() const { return m_playButton; }
    QPushButton* lockButton() const { return m_lockButton; }
    QPushButton* addFolderButton() const { return m_addFolderButton; }
    QComboBox* speedBox() const { return m_speedBox; }
    QLabel* timeLabel() const { return m_timeLabel; }
    QPushButton* stopButton() const { return m_stopButton; }
    TimeLine* timeLine() const { return m_timeLine; }
    TimeAxisSlider* timeSlider() const { return m_timeSlider; }
    int axisWidth() const { return m_axisWidth; }
    int markedRow() const { return m_markedRow; }
    int position() const { return m_position; }
    // While playing, the position the clock gives this instant (the stored
    // one lags by up to a tick); else the stored one.
    int playPosition() const;
    bool isPaused() const { return m_paused; }
    int scrollOffset() const;
    // Width of the strips' visible span.
    int visibleWidth() const;

    // ---- Rows
    int currentLayer() const;
    int currentLayerRow() const;
    int layerRowNear(int row) const;
    QList<int> checkedLayers() const;
    int layerRowCount() const;
    bool isCurrentLayerLocked() const;
    bool isLayerLocked(int row) const;
    bool isLayerEyeHidden(int row) const;
    int rowOfLayerPanel(const LayerPanel* panel) const;
    void markCurrentLayer(int row, bool additive = false);
    void insertEffectRows(int row);
    // Writes every header's row into it and into the records on its strip.
    void renumberRows(int from = -1);
    // Puts the rows in the plan's order (the filler stays last).
    void applyRowPlan(const kestrane::axis::RowPlan& plan);
    void changeLayerSequence(int code);
    void clearLayers();
    void removeLayerRow(int row, bool ask);
    void scrollToRow(int row);
    QString nextFolderName() const;

    // ---- Blocks
    void removeMediaFromLayers(int mediaId);
    void removeMediaFromLayer(int mediaId, int row);
    void removeLayerIOBlock(int id);
    void removePlayControlBlock(int id);
    void hideLayerDropMarks();
    void updateLayerItems();
    void refreshRows(bool moveHandles);
    void selectMediaLater(int mediaId);
    void syncTimelineSelection();
    void selectEffectRow(int row);

    // ---- Zoom and scrolling
    void setScale(int level);
    int scale() const;
    void setAxisLength(int ms, bool extend);
    int scrollValueToOffset(int value) const;
    int offsetToScrollValue(int offset) const;
    void followPlayHead(int ms);
    bool autoScrollTo(int x);
    void wheelScroll(int delta);

    // ---- Play position and transport
    void setCurrentTime(int ms);
    void applyPosition(int ms);
    void moveToTime(int ms);
    void setSpeedIndex(int index);
    int speedIndex() const;
    void setLockChecked(bool checked);
    bool isLockChecked() const;
    void play();
    void pause();
    // The first play control of that name other than excludeId: its id,
    // with its time in *time; -1 when there is none.
    int findPlayControlByName(const QString& name, int excludeId, int* time) const;
    // Finishes a jump: the play head to the target, then playback again
    // after the record's delay unless it stays paused.
    void runJump(int targetMs, int controlId);
    // A function key's cue: runs the play control of that id as the key
    // path does (a play after a short settle, a pause or jump at once).
    void runKeyCue(int controlId);
    // A jump's settle or a resume after its delay is waiting to run.
    bool resumePending() const;
    // The play rate of the speed box: 1.0, 1.5 or 2.0.
    double playRate() const;

    // ---- Command monitor
    // The port the monitor listens on once the first layers exist; below 0
    // (the default) it is not started. The program sets the console's
    // command port; tests choose their own.
    static void setCommandMonitorPort(int port);
    static int commandMonitorPort();
    // Takes the chunks received since the last poll and runs the play
    // control that the last matching one names. Every 100 ms.
    void pollNetworkCommand();
    QTimer* commandPollTimer() const { return m_commandPoll; }

    // The tick's clock: monotonic milliseconds. Tests set their own; null
    // restores the steady one.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    // Play-control and output entries (time, id) of the current run.
    QList<QPair<int, int>> playControlQueue() const { return m_playControlQueue; }
    QList<QPair<int, int>> outputQueue() const { return m_outputQueue; }

public slots:
    LayerInfoPanel* addFolder(bool isInit = false);
    LayerInfoPanel* addLayer(bool isInit = false);
    void addItemToLayer(int id, int rowIndex = -1, int layerIndex = -1);
    void updateScroll(int startValue = 0);
    bool scrollMove(int x, bool force = false);
    void removeLayer();
    void slotMoveHorizonalScrollBar(int value);
    void reduceScale();
    void addScale();
    void playStop();
    void playOrPause();
    void backFiveSecond();
    void forwardFiveSecond();
    void playTimeLine(bool isRecursion = false);
    void scaleChanged(int scale);
    void scaleChanged2(int x);
    void currentLayerChanged();
    void syncHorizontalScrollBar(int value);
    void eyeChanged(int row, bool hide);
    void allEyesChanged(int exclude);
    void setLayerHorizenPos(int value);
    void lockLayer(bool checked);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildUi();
    QWidget* buildPlayBar();
    QWidget* buildTopBar();
    QWidget* buildBottomBar();
    LayerInfoPanel* insertHeaderRow(int row, int kind, int role);
    void applyOffset(int offset);
    void setUnit(int unit);
    void confirmAndRemoveChecked();
    void startCommandMonitor();
    void runNetworkCommand(int controlId);
    // The network and key paths of a play control.
    void runCue(int controlId, bool fromKey);
    // One pending follow-up of a transport action (a jump's settle, a
    // resume after a delay); a newer one replaces it and every pause or
    // stop drops it.
    void scheduleResume(int ms, std::function<void()> action);
    void cancelResume();
    // The play position the clock gives now for the current run.
    int clockPosition() const;
    // A new run starts counting from here.
    void rebaseRun();
    void speedChanged(int index);
    qint64 now() const;
    void showPlayStyle();
    // Takes the play-control entries at these times out of the queue.
    void dropPlayControlEntries(const QList<int>& times);

    RulerWidget* m_ruler = nullptr;
    LayerTable* m_table = nullptr;
    TScrollBar* m_scrollBar = nullptr;
    int m_axisWidth = 0;
    int m_markedRow = -1;
    int m_initialScale = 7;
    int m_position = 0;
    // The range bar and the play-head line; null until they are built.
    TimeAxisSlider* m_timeSlider = nullptr;
    TimeLine* m_timeLine = nullptr;
    bool m_paused = true;
    QComboBox* m_speedBox = nullptr;
    QPushButton* m_playButton = nullptr;
    QLabel* m_timeLabel = nullptr;
    QPushButton* m_lockButton = nullptr;
    QPushButton* m_addFolderButton = nullptr;
    qint64 m_lastTick = 0;
    // The run's position is its start position plus the clock's time since
    // the start times the rate, so no rounding piles up over a long show.
    qint64 m_runStartMs = 0;
    int m_runStartPosition = 0;
    double m_runRate = 1.0;
    // The run's clock was started already (with the servers' plays).
    bool m_runBased = false;
    // The position the run itself set last: any other means the play head
    // was moved while playing, and the run goes on from there.
    int m_runPosition = 0;
    QTimer* m_resumeTimer = nullptr;
    std::function<void()> m_resumeAction;
    Clock m_clock;
    // The one pending tick of a run.
    QTimer* m_tickTimer = nullptr;
    QList<QPair<int, int>> m_playControlQueue;
    QList<QPair<int, int>> m_outputQueue;
    QString m_playStyle;
    QString m_pauseStyle;
    QPushButton* m_stopButton = nullptr;
    QTimer* m_commandPoll = nullptr;
    bool m_monitorStarted = false;
    QSlider* m_zoomSlider = nullptr;
    QPushButton* m_muteButton = nullptr;
    QTableWidget* m_topTable = nullptr;
    QBoxLayout* m_topBarLayout = nullptr;
    QList<QPushButton*> m_unitButtons;
};
