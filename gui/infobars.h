// The two bars across the top of the window: the update bar (panUpdateAvailable, white to
// yellow, shown when a newer version exists) and the elevation bar (panWarning, shown when NTFS
// devices exist that this process cannot read directly).
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace qz {

class TUpdateBar : public QWidget {
    Q_OBJECT
public:
    explicit TUpdateBar(QWidget* parent = nullptr);
    // Shows the bar for version (as received) and its information page.
    void ShowUpdate(const QString& version, const QString& infoUrl);
    // Sets the message again in the current language.
    void Retranslate();
    QString InfoUrl() const;

    QLabel* lblUpdateAvailable;
    QPushButton* btnViewUpdate; // its tool tip holds the information address
    QPushButton* btnDismiss;

signals:
    void viewUpdate(const QString& infoUrl);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FVersion;
};

class TWarningBar : public QWidget {
    Q_OBJECT
public:
    explicit TWarningBar(QWidget* parent = nullptr);
    // The text, icon and check box show unless "Don't show this again" is on; the bar and its
    // restart button stay.
    void ApplyDontShow(bool dontShow);

    QPushButton* btnRestart;
    QLabel* imWarning;
    QLabel* lblWarning;
    QCheckBox* cbDontShowWarning;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace qz
