#include "gui/historycombo.h"

#include "base/text.h"
#include "filters/filters.h"
#include "gui/filteredit.h"
#include "gui/qtext.h"

#include <QTimer>
#include <QWheelEvent>

namespace qz {

namespace {
constexpr int kClearMarker = 1; // the data of the special item; ordinary items carry 0
}

THistoryCombo::THistoryCombo(bool ignoreCase, QWidget* parent) : QComboBox(parent) {
    FHistory.IgnoreCase = ignoreCase;
    setEditable(true);
    FEdit = new TFilterEdit(this);
    setLineEdit(FEdit);
    // The combo box picks the item whose text equals the box's whenever the box loses the
    // focus (opening the list does that too); only the user's picks count here.
    disconnect(FEdit, &QLineEdit::editingFinished, this, nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true); // Enter never picks an item by its text
    setCompleter(nullptr);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(12);
    Rebuild();
    connect(FEdit, &TFilterEdit::downPressed, this, [this] { showPopup(); });
    connect(FEdit, &TFilterEdit::left, this, &THistoryCombo::Remember);
    connect(FEdit, &QLineEdit::textEdited, this,
            [this](const QString& t) { emit textChangedByUser(t); });
    connect(this, qOverload<int>(&QComboBox::activated), this, &THistoryCombo::OnActivated);
}

QString THistoryCombo::ClearItemText() {
    return QStringLiteral("<") + Tr("Clear") + QStringLiteral(">");
}

void THistoryCombo::showPopup() {
    FTextAtPopup = FEdit->text();
    FPicking = true;
    QComboBox::showPopup();
}

void THistoryCombo::hidePopup() {
    QComboBox::hidePopup();
    // A pick is reported right after the list closes, in the same call.
    QTimer::singleShot(0, this, [this] { FPicking = false; });
}

void THistoryCombo::wheelEvent(QWheelEvent* event) {
    event->ignore(); // the wheel does not step through the history
}

QString THistoryCombo::Text() const {
    return FEdit->text();
}

void THistoryCombo::SetText(const QString& text) {
    FEdit->setText(text);
}

std::vector<std::string> THistoryCombo::Items() const {
    std::vector<std::string> out;
    for (const std::u16string& s : FHistory.Items()) out.push_back(Utf16ToUtf8(s));
    return out;
}

void THistoryCombo::SetItems(const std::vector<std::string>& items) {
    std::vector<std::u16string> v;
    for (const std::string& s : items) v.push_back(Utf8ToUtf16(s));
    FHistory.SetItems(std::move(v));
    Rebuild();
}

void THistoryCombo::Rebuild() {
    // The box's text and cursor stay as they are while the list is refilled.
    FRebuilding = true;
    const QString text = FEdit->text();
    const int cursor = FEdit->cursorPosition();
    FEdit->blockSignals(true);
    clear();
    for (const std::u16string& s : FHistory.Items()) addItem(ToQString(s), 0);
    addItem(ClearItemText(), kClearMarker);
    setCurrentIndex(-1);
    FEdit->setText(text);
    FEdit->setCursorPosition(cursor);
    FEdit->blockSignals(false);
    FEdit->RefreshColours();
    setMaxVisibleItems(std::max(1, count()));
    FRebuilding = false;
}

void THistoryCombo::Remember() {
    const QString text = FEdit->text();
    const std::u16string normal = NormalizeFilterText(ToU16(text));
    if (ToQString(normal) != text) {
        const int cursor = std::min<int>(FEdit->cursorPosition(), int(normal.size()));
        FEdit->setText(ToQString(normal));
        FEdit->setCursorPosition(cursor);
    }
    const std::vector<std::u16string> before = FHistory.Items();
    FHistory.Add(normal);
    if (FHistory.Items() != before) Rebuild();
}

void THistoryCombo::OnActivated(int index) {
    // Only a pick from the opened list counts: the combo box also "activates" the item whose
    // text equals the box's when the box loses the focus, which is no choice of the user.
    if (FRebuilding || index < 0 || !FPicking) return;
    FPicking = false;
    if (itemData(index).toInt() == kClearMarker) {
        // The box keeps the text it had; the list keeps only the special item.
        FEdit->blockSignals(true);
        FEdit->setText(FTextAtPopup);
        FEdit->blockSignals(false);
        FHistory.Clear();
        Rebuild();
        emit historyChanged();
        FEdit->setFocus();
        return;
    }
    const std::u16string picked = FHistory.Pick(size_t(index));
    FEdit->setText(ToQString(picked));
    Rebuild();
    emit textChangedByUser(FEdit->text());
    emit historyChanged();
    FEdit->setFocus();
}

} // namespace qz
