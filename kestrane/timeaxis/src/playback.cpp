// Playback of the time axis: the transport slots and the 40 ms tick that
// moves the play head and fires the outputs and play controls it passes.
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "kestrane/commandmonitor.h"
#include "kestrane/gconfig.h"
#include "kestrane/timeaxiswidget.h"
#include "kestrane/timeline.h"
#include "kestrane/utils.h"
#include "platform/textcodec.h"

namespace {

constexpr int kTickMs = 40;
// A jump pauses this long before it takes its target.
constexpr int kJumpSettleMs = 300;
// The longest delay the jump dialog takes; a loaded project may hold any
// number.
constexpr int kMaxDelaySeconds = 99999;

int delayMs(int seconds) { return std::clamp(seconds, 0, kMaxDelaySeconds) * 1000; }

Qt::TimerType timerTypeFor(int ms) { return ms < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer; }

double rateOf(int speedIndex) {
    switch (speedIndex) {
    case 1: return 1.5;
    case 2: return 2.0;
    default: return 1.0;
    }
}

qint64 steadyMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

}  // namespace

void TimeAxisWidget::setClock(Clock clock) { m_clock = std::move(clock); }

qint64 TimeAxisWidget::now() const { return m_clock ? m_clock() : steadyMs(); }

void TimeAxisWidget::showPlayStyle() {
    m_playButton->setStyleSheet(m_playStyle);
    m_playButton->setProperty("play", false);
}

void TimeAxisWidget::setCurrentTime(int ms) {
    applyPosition(ms);
    if (m_timeLine)
        m_timeLine->setTime(ms);
}

double TimeAxisWidget::playRate() const { return rateOf(speedIndex()); }

bool TimeAxisWidget::resumePending() const { return m_resumeTimer->isActive(); }

void TimeAxisWidget::scheduleResume(int ms, std::function<void()> action) {
    m_resumeAction = std::move(action);
    m_resumeTimer->setTimerType(timerTypeFor(ms));
    m_resumeTimer->start(ms);
}

void TimeAxisWidget::cancelResume() {
    m_resumeTimer->stop();
    m_resumeAction = nullptr;
}

void TimeAxisWidget::rebaseRun() {
    m_runStartMs = now();
    m_runStartPosition = m_position;
    m_runRate = playRate();
    m_runPosition = m_position;
}

int TimeAxisWidget::clockPosition() const {
    // A clock that went back moves nothing.
    const qint64 elapsed = std::max<qint64>(0, now() - m_runStartMs);
    const double position = double(m_runStartPosition) + std::floor(double(elapsed) * m_runRate);
    return int(std::min<double>(position, INT_MAX));
}

int TimeAxisWidget::playPosition() const {
    if (m_paused || m_position != m_runPosition)
        return m_position;
    return std::min(std::max(clockPosition(), m_position), GConfig::instance().timelineLength());
}

void TimeAxisWidget::speedChanged(int index) {
    GConfig& config = GConfig::instance();
    config.mainWindowHooks().setMenuSpeed(index);
    if (m_paused)
        return;
    // The time played so far keeps the old rate; from here every clock (the
    // console's, the preview's, the servers') runs at the new one.
    setCurrentTime(playPosition());
    rebaseRun();
    config.setPreviewRate(m_runRate);
    config.setServersRate(m_runRate);
}

void TimeAxisWidget::play() {
    cancelResume();
    GConfig& config = GConfig::instance();
    if (m_position < config.timelineStart())
        applyPosition(config.timelineStart());
    const int length = config.timelineLength();
    if (m_position >= length) {
        // Nothing is left to play: the show stays paused at its end, and so
        // does the wall, rather than starting it and pausing only here.
        setCurrentTime(std::max(length, config.timelineStart()));
        showPlayStyle();
        if (!m_paused) {
            pause();
        } else {
            config.pausePreview();
            config.pauseServers();
        }
        return;
    }
    m_playButton->setStyleSheet(m_pauseStyle);
    m_playButton->setProperty("play", true);
    m_paused = false;
    if (m_timeLine)
        m_timeLine->setTime(m_position);
    const double rate = playRate();
    // The servers start before the first tick, so that a pause that tick
    // makes (a pause control at the start) reaches them after the play. The
    // run's clock, and the preview's, start with the servers' plays.
    config.playServers(rate, [this, rate] {
        GConfig::instance().playPreview(rate);
        rebaseRun();
        m_runBased = true;
    });
    playTimeLine(false);
}

void TimeAxisWidget::pause() {
    showPlayStyle();
    cancelResume();
    if (m_paused)
        return;
    m_paused = true;
    m_tickTimer->stop();
    GConfig& config = GConfig::instance();
    config.pausePreview();
    config.refreshStage();
    config.pauseServers();
}

void TimeAxisWidget::playOrPause() {
    if (m_playButton->property("play").toBool()) {
        showPlayStyle();
        pause();
    } else {
        play();
    }
}

void TimeAxisWidget::playStop() {
    cancelResume();
    m_stopButton->setEnabled(false);
    showPlayStyle();
    GConfig& config = GConfig::instance();
    if (!m_paused) {
        m_paused = true;
        m_tickTimer->stop();
        config.pausePreview();
        config.refreshStage();
        config.stopServers();
    }
    setCurrentTime(config.timelineStart());
    config.sendTimeToServers();
    m_stopButton->setEnabled(true);
    scrollMove(0, true);
}

void TimeAxisWidget::backFiveSecond() {
    GConfig& config = GConfig::instance();
    setCurrentTime(std::max(m_position - 5000, config.timelineStart()));
    pause();
    config.timeLineX();
    config.sendTimeToServers();
}

void TimeAxisWidget::forwardFiveSecond() {
    GConfig& config = GConfig::instance();
    setCurrentTime(std::min(m_position + 5000, config.timelineLength()));
    pause();
    config.timeLineX();
    config.sendTimeToServers();
}

void TimeAxisWidget::dropPlayControlEntries(const QList<int>& times) {
    m_playControlQueue.erase(std::remove_if(m_playControlQueue.begin(), m_playControlQueue.end(),
                                            [&](const QPair<int, int>& e) { return times.contains(e.first); }),
                             m_playControlQueue.end());
}

void TimeAxisWidget::playTimeLine(bool isRecursion) {
    GConfig& config = GConfig::instance();
    if (!isRecursion) {
        m_lastTick = now();
        if (!m_runBased)
            rebaseRun();
        m_runBased = false;
        // Equal times keep a fixed order by id, so "the later jump" is
        // always the same one.
        m_playControlQueue.clear();
        for (const PlayControlRecord* rec : config.playControls())
            m_playControlQueue << qMakePair(rec->time, rec->id);
        std::sort(m_playControlQueue.begin(), m_playControlQueue.end());
        config.closeIoPorts();
        m_outputQueue.clear();
        for (const LayerIORecord* rec : config.layerIOs())
            m_outputQueue << qMakePair(rec->time, rec->id);
        std::sort(m_outputQueue.begin(), m_outputQueue.end());
    }
    if (m_paused) {
        showPlayStyle();
        pause();
        return;
    }
    const qint64 tick = now();
    if (tick < m_lastTick) {
        // A clock that went back moves nothing; the run counts on from here.
        m_runStartMs = tick;
        m_runStartPosition = m_position;
    } else if (m_position != m_runPosition) {
        // Moved while playing (the ruler, a drag): on from the new place
        // since the last tick.
        m_runStartMs = m_lastTick;
        m_runStartPosition = m_position;
    }
    m_lastTick = tick;
    const int length = config.timelineLength();
    int position = std::max(clockPosition(), m_position);
    const qint64 delta = qint64(position) - m_position;
    if (position >= length) {
        // Controls and outputs at the very end still fire in this tick; the
        // next one finds the run paused. The position is set first, so the
        // servers are paused at the end itself.
        position = length;
        setCurrentTime(position);
        pause();
    } else {
        setCurrentTime(position);
    }
    m_runPosition = position;

    auto within = [&](int time) { return std::llabs(qint64(position) - time) < delta; };
    for (auto it = m_outputQueue.begin(); it != m_outputQueue.end();) {
        if (within(it->first)) {
            config.startOutputData(it->second);
            it = m_outputQueue.erase(it);
        } else {
            ++it;
        }
    }

    QList<int> hitTimes;
    int chosen = -1;
    int chosenType = -1;
    for (const QPair<int, int>& e : m_playControlQueue) {
        if (!within(e.first))
            continue;
        hitTimes << e.first;
        const PlayControlRecord* rec = config.findPlayControl(e.second);
        if (!rec)
            continue;
        // The pause wins, else the last jump, else the first play.
        if (rec->type == 0) {
            chosen = e.second;
            chosenType = 0;
            break;
        }
        if (rec->type == 2) {
            chosen = e.second;
            chosenType = 2;
        } else if (rec->type == 1 && chosen == -1) {
            chosen = e.second;
            chosenType = 1;
        }
    }
    const PlayControlRecord* rec = chosen != -1 ? config.findPlayControl(chosen) : nullptr;
    if (rec && chosenType == 1) {
        dropPlayControlEntries(hitTimes);
        playTimeLine(true);
        return;
    }
    if (rec && chosenType == 0) {
        const int t = std::min(rec->time, length);
        // Moved first: the servers pause at the control's time.
        setCurrentTime(t);
        pause();
        showPlayStyle();
        dropPlayControlEntries(hitTimes);
        return;
    }
    if (rec && chosenType == 2) {
        int target = rec->jumpTime;
        if (rec->jumpMode == 1 && !rec->targetName.isEmpty()) {
            int named = 0;
            if (findPlayControlByName(rec->targetName, rec->id, &named) == -1) {
                // No such control: the jump is dropped and the run goes on.
                dropPlayControlEntries(hitTimes);
                playTimeLine(true);
                return;
            }
            target = named;
        }
        pause();
        const int id = rec->id;
        scheduleResume(kJumpSettleMs, [this, target, id] { runJump(target, id); });
        return;
    }
    if (!m_paused)
        m_tickTimer->start(kTickMs);
}

void TimeAxisWidget::runJump(int targetMs, int controlId) {
    GConfig& config = GConfig::instance();
    setCurrentTime(targetMs);
    followPlayHead(targetMs);
    showPlayStyle();
    // A jump that stays paused must not leave the servers at the old time.
    config.sendTimeToServers();
    const PlayControlRecord* rec = config.findPlayControl(controlId);
    if (!rec || rec->stayPaused)
        return;
    scheduleResume(delayMs(rec->delay) + kJumpSettleMs, [this] { play(); });
}

void TimeAxisWidget::pollNetworkCommand() {
    const QList<QByteArray> chunks = kestrane::monitor::takeChunks();
    if (chunks.isEmpty())
        return;
    const QList<PlayControlRecord*> controls = GConfig::instance().playControls();
    // Chunks are not framed: each one is a whole command or nothing. The
    // latest command of the batch wins, as if each had run in turn.
    int chosen = 0;
    for (const QByteArray& chunk : chunks) {
        const std::string utf8 = platform::GbkToUtf8(std::string_view(chunk.constData(), size_t(chunk.size())));
        const QString text = QString::fromStdString(utf8);
        for (const PlayControlRecord* rec : controls) {
            if (!rec->command.isEmpty() && rec->command == text) {
                chosen = rec->id;
                break;
            }
        }
    }
    if (chosen != 0)
        runNetworkCommand(chosen);
}

void TimeAxisWidget::runNetworkCommand(int controlId) { runCue(controlId, false); }

void TimeAxisWidget::runKeyCue(int controlId) { runCue(controlId, true); }

void TimeAxisWidget::runCue(int controlId, bool fromKey) {
    GConfig& config = GConfig::instance();
    const PlayControlRecord* rec = config.findPlayControl(controlId);
    if (!rec)
        return;
    const bool wasPaused = m_paused;
    int target = rec->time;
    if (rec->type == 1) {
        if (!fromKey) {
            setCurrentTime(target);
            followPlayHead(target);
            play();
            return;
        }
        // A key stops the show first and plays from the control's time a
        // moment later; the wall waits paused at that time meanwhile.
        pause();
        setCurrentTime(target);
        followPlayHead(target);
        config.sendTimeToServers();
        scheduleResume(kJumpSettleMs, [this] { play(); });
        return;
    }
    if (rec->type == 2 && rec->jumpMode == 1 && !rec->targetName.isEmpty()) {
        if (findPlayControlByName(rec->targetName, rec->id, &target) == -1)
            return;
    } else if (rec->type == 2) {
        target = rec->jumpTime;
    } else if (rec->type != 0) {
        return;
    }
    setCurrentTime(target);
    followPlayHead(target);
    pause();
    // A pause that finds the show paused sends nothing itself: the servers
    // must still follow the console to the new time.
    if (wasPaused)
        config.sendTimeToServers();
    if (rec->type != 2 || rec->stayPaused)
        return;
    scheduleResume(delayMs(rec->delay), [this] { play(); });
}
