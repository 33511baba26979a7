// The scroll container of the media property panel: keeps the panel as
// wide as itself and leaves its height alone, so a tall panel scrolls.
#pragma once

#include <QScrollArea>

class MediaAttribute;

class MediaScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit MediaScrollArea(QWidget* parent = nullptr);

    void showMedia(int id);
    MediaAttribute* panel() const { return m_panel; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    MediaAttribute* m_panel = nullptr;
};
