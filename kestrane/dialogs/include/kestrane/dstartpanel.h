// The welcome panel: a new project, a project file, one of the six recent
// projects, or a help link. The chosen path goes back through the caller's
// string, written only when the panel accepts.
#pragma once

#include <QColor>
#include <QDialog>
#include <QList>

#include <memory>

class QCheckBox;
class QPushButton;
class QSettings;

class DStartPanel : public QDialog {
    Q_OBJECT
public:
    DStartPanel(QString* chosenPath, QWidget* parent = nullptr);
    ~DStartPanel() override;

    const QList<QPushButton*>& projectButtons() const { return m_projectButtons; }

public slots:
    void openBook();
    void setPrjoect();
    void openFolder();
    void showListSet();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setupUi();
    void initPanel();
    void loadHelpBooks();
    void loadRecentProjects();
    void fillProjectButtons();

    int m_shadowWidth = 5;
    QColor m_colour{0xf0, 0xf0, 0xf0};
    QList<int> m_alphas{50, 25, 16, 10, 6, 2};
    std::unique_ptr<QSettings> m_settings;
    QString* m_chosenPath;
    QList<QPushButton*> m_projectButtons;
    QList<QPushButton*> m_bookButtons;
    QCheckBox* m_notShowList = nullptr;
};
