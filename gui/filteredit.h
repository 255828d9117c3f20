// A text box for the filter language (the filter panel's two boxes and the file list's search
// box): it draws comparisons, negations and regular expressions in the highlight colour as
// they are typed, marks a text with a mistake (an unclosed quote, a lone "!", an expression
// that does not compile or was given up) with a red frame and the message as its tool tip,
// and hands Down (open the history) and leaving the box to its owner.
//
// The colouring rule is the filter language's own (FilterColourRuns); the box gives its runs
// to the line edit's text layout as formats, so the platform's drawing of the cursor, the
// selection and long texts is kept. A text with Arabic characters is drawn without colours.
#pragma once

#include <QLineEdit>
#include <QString>

namespace qz {

class TFilterEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TFilterEdit(QWidget* parent = nullptr);

    // A mistake in the text: message (empty: none) and the character position it refers to
    // (-1: none). The box shows a red frame and the message as tool tip.
    void SetError(const QString& message, int position = -1);
    const QString& Error() const { return FError; }
    int ErrorPosition() const { return FErrorPosition; }

    // The runs of the current text drawn in the highlight colour, as (start, length) pairs in
    // UTF-16 units; empty when the text is drawn in one colour.
    const QList<QPair<int, int>>& HighlightRuns() const { return FRuns; }
    // The highlight colour: teal with its lightness raised by a quarter.
    static QColor HighlightColour();
    // Gives the colour runs of the current text to the text layout again (after the text was
    // set with the box's signals blocked).
    void RefreshColours() { ApplyColours(); }

signals:
    // Down arrow: the owner opens the history list.
    void downPressed();
    // The box lost the focus (the owner remembers the text).
    void left();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Gives the colour runs of the current text to the text layout.
    void ApplyColours();

    QString FError;
    int FErrorPosition = -1;
    QList<QPair<int, int>> FRuns;
    bool FApplying = false;
};

} // namespace qz
