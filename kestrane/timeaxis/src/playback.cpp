// Playback of the time axis: the transport slots and the 40 ms tick that
// moves the play head and fires the outputs and play controls it passes.
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <climits>
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

void TimeAxisWidget::play() {
    m_playButton->setStyleSheet(m_pauseStyle);
    m_playButton->setProperty("play", true);
    m_paused = false;
    GConfig& config = GConfig::instance();
    if (m_position < config.timelineStart())
        applyPosition(config.timelineStart());
    if (m_timeLine)
        m_timeLine->setTime(m_position);
    const double rate = rateOf(speedIndex());
    config.playPreview(rate);
    playTimeLine(false);
    config.playServers(rate);
}

void TimeAxisWidget::pause() {
    showPlayStyle();
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
    // A clock that went back moves nothing.
    qint64 delta = std::max<qint64>(0, tick - m_lastTick);
    if (speedIndex() == 1)
        delta = qint64(double(delta) * 1.5);
    else if (speedIndex() == 2)
        delta *= 2;
    m_lastTick = tick;
    const int length = config.timelineLength();
    int position = int(std::min<qint64>(qint64(m_position) + delta, INT_MAX));
    if (position >= length) {
        // Controls and outputs at the very end still fire in this tick; the
        // next one finds the run paused.
        pause();
        position = length;
    }
    setCurrentTime(position);

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
        pause();
        setCurrentTime(t);
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
        QTimer::singleShot(kJumpSettleMs, this, [this, target, id] { runJump(target, id); });
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
    const int wait = rec->delay * 1000 + kJumpSettleMs;
    QTimer::singleShot(wait, wait < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer, this, [this] { play(); });
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

void TimeAxisWidget::runNetworkCommand(int controlId) {
    GConfig& config = GConfig::instance();
    const PlayControlRecord* rec = config.findPlayControl(controlId);
    if (!rec)
        return;
    const bool wasPaused = m_paused;
    int target = rec->time;
    if (rec->type == 1) {
        setCurrentTime(target);
        followPlayHead(target);
        play();
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
    const int wait = rec->delay * 1000;
    QTimer::singleShot(wait, wait < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer, this, [this] { play(); });
}
