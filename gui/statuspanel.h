// The window's status labels: the scan status line with its progress bar (lblStatus,
// ProgressBar1), and the two panels under the tree (the selection's totals and the path of the
// row under the mouse).
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace qz {

class TScanStatus : public QWidget {
    Q_OBJECT
public:
    explicit TScanStatus(QWidget* parent = nullptr);
    // The status line ("Ready..." at first).
    void SetStatus(const QString& text);
    QString Status() const;
    // The whole line: its text, the details in its tool tip and what a screen reader hears,
    // so that a passing message can put the line back as it was.
    struct TLine {
        QString Text, ToolTip, Description;
    };
    TLine Line() const;
    void SetLine(const TLine& line);
    // The bar jumps to percent (0..100).
    void SetProgress(int percent);
    int Progress() const;

    QLabel* lblStatus;
    QProgressBar* ProgressBar1;
};

class TTreeStatus : public QWidget {
    Q_OBJECT
public:
    explicit TTreeStatus(QWidget* parent = nullptr);
    void SetSelectionText(const QString& text); // panel 0
    void SetHotPath(const QString& path);       // panel 1
    QString SelectionText() const;

    QLabel* pnlSelection;
    QLabel* pnlHotPath;
};

} // namespace qz
