// A filter-language box with its history drop-down (the filter panel's two boxes and the file
// list's search box): an editable combo box whose edit is a TFilterEdit and whose list holds
// the remembered texts, newest first, and a last special item "<Clear>" that empties the list.
//
// The texts themselves are kept by a TSearchHistory (one owner); the list mirrors it. Leaving
// the box normalises its text and remembers it; picking an item puts its text into the box and
// moves it to the top; Down in the box opens the list. historyChanged asks the owner to save
// the settings at once.
#pragma once

#include "views/filelist.h"

#include <QComboBox>
#include <string>
#include <vector>

namespace qz {

class TFilterEdit;

class THistoryCombo : public QComboBox {
    Q_OBJECT
public:
    // ignoreCase: texts that differ only in ASCII case are one entry (the filter boxes).
    THistoryCombo(bool ignoreCase, QWidget* parent = nullptr);

    TFilterEdit* Edit() const { return FEdit; }
    QString Text() const;
    void SetText(const QString& text);

    // The remembered texts, newest first (for the settings).
    std::vector<std::string> Items() const;
    void SetItems(const std::vector<std::string>& items);
    // Leaving the box: the text is normalised and written back; a non-empty text becomes the
    // newest entry.
    void Remember();
    // The special last item's text: "<" + the word Clear + ">".
    static QString ClearItemText();
    void showPopup() override;
    void hidePopup() override;

signals:
    // The entries changed by the user's pick or clear (save now).
    void historyChanged();
    // The box's text changed by typing or by a pick.
    void textChangedByUser(const QString& text);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    void Rebuild();
    void OnActivated(int index);

    TFilterEdit* FEdit;
    TSearchHistory FHistory;
    QString FTextAtPopup; // the box's text when the list was opened
    bool FRebuilding = false;
    bool FPicking = false; // the list is open (or has just closed with a pick)
};

} // namespace qz
