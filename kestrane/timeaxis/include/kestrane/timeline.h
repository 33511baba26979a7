// The play head (a red line over the layer rows with a grip above it) and
// the range bar between the title row and the ruler, which shows the
// project's span between two handles and moves the play head to a click.
#pragma once

#include <QWidget>

class SliderHandle;
class TimeAxisWidget;
class TimeLineSlider;

class TimeLine : public QWidget {
    Q_OBJECT
public:
    // x in the time axis where the time area begins; the line hides at or
    // left of it.
    static constexpr int kColumnOffset = 299;
    static constexpr int kTop = 26;
    static constexpr int kWidth = 7;
    static constexpr int kMargin = 7;

    TimeLine(int timeMs, int height, int scroll, TimeAxisWidget* timeAxis);
    ~TimeLine() override;

    int time() const { return m_time; }
    int x() const { return m_x; }
    TimeLineSlider* grip() const { return m_grip; }

    void setTime(int ms);
    void setScroll(int px);
    void setScrollAndZoom(int px);
    void setLineHeight(int px);
    // The time under the centre of a line whose left edge is at px.
    int timeAtX(int px) const;
    // Moves the line by dx (clamped to the axis display length); its time.
    int dragBy(int dx);
    void scrollIntoView();

public slots:
    void updateUi();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_time = 0;
    int m_scroll = 0;
    int m_x = kMargin;
    int m_height = 0;
    TimeAxisWidget* m_timeAxis;
    TimeLineSlider* m_grip = nullptr;
    // Scrolling from inside updateUi comes back here through setScroll.
    bool m_updating = false;
};

// The grip above the play-head line.
class TimeLineSlider : public QWidget {
    Q_OBJECT
public:
    TimeLineSlider(TimeLine* line, QWidget* timeAxis);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TimeLine* m_line;
    int m_pressX = 0;
    int m_time = 0;
    bool m_moved = false;
};

// The track of the range bar.
class SliderWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMargin = 7;

    explicit SliderWidget(QWidget* parent);

    int startX() const { return m_startX; }
    int endX() const { return m_endX; }
    SliderHandle* startHandle() const { return m_startHandle; }
    SliderHandle* endHandle() const { return m_endHandle; }
    void refresh(bool moveHandles);

signals:
    void posClicked(int x);

public slots:
    void changeTimeLine(int x);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_startX = kMargin;
    int m_endX = kMargin;
    SliderHandle* m_startHandle;
    SliderHandle* m_endHandle;
};

class SliderHandle : public QWidget {
    Q_OBJECT
public:
    enum Index { Start = 0, End = 1 };
    SliderHandle(SliderWidget* track, int index);

    int index() const { return m_index; }
    void placeOnAxis();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    SliderWidget* m_track;
    int m_index;
    int m_pressX = 0;
    bool m_moved = false;
};

// The range bar: a 12-px strip holding the track, shifted by the scroll.
class TimeAxisSlider : public QWidget {
    Q_OBJECT
public:
    TimeAxisSlider(int lengthPx, QWidget* parent = nullptr);

    SliderWidget* track() const { return m_track; }
    int scroll() const { return m_scroll; }
    void setScroll(int px);
    void setLength(int lengthPx, int scroll);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_length;
    int m_scroll = 0;
    SliderWidget* m_track;
};
