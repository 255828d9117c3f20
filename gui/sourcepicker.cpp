#include "gui/sourcepicker.h"

#include "base/text.h"
#include "gui/qtext.h"

#include <algorithm>

namespace qz {

TSourcePicker::TSourcePicker(QWidget* parent) : QComboBox(parent) {
    setObjectName(QStringLiteral("cbDrive"));
    setAccessibleName(Tr("Source"));
    setToolTip(Tr("What to scan"));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(28);
    connect(this, &QComboBox::activated, this, [this](int index) { emit cbDriveSelect(index); });
}

void TSourcePicker::SetList(TSourceList list) {
    FList = std::move(list);
    const QSignalBlocker quiet(this);
    clear();
    for (const TSourceEntry& e : FList.Entries) addItem(ToQString(e.Text), int(e.Kind));
    // The drop-down shows at least 26 entries at a time.
    setMaxVisibleItems(std::max(26, count()));
    setCurrentIndex(FList.Selected);
}

void TSourcePicker::RefreshDrives(TSourceList list) {
    const int was = currentIndex();
    const QString text = was >= 0 ? itemText(was) : QString();
    SetList(std::move(list));
    if (was < 0) return;
    SelectQuietly(findText(text, Qt::MatchExactly));
}

void TSourcePicker::Retranslate() {
    for (size_t i = 0; i < FList.Entries.size(); ++i) {
        TSourceEntry& e = FList.Entries[i];
        const std::string text = FixedEntryText(e.Kind);
        if (text.empty()) continue;
        e.Text = Utf8ToUtf16(text);
        setItemText(int(i), ToQString(e.Text));
    }
}

const TSourceEntry* TSourcePicker::SelectedEntry() const {
    const int i = currentIndex();
    if (i < 0 || size_t(i) >= FList.Entries.size()) return nullptr;
    return &FList.Entries[size_t(i)];
}

void TSourcePicker::SelectQuietly(int index) {
    const QSignalBlocker quiet(this);
    setCurrentIndex(index < count() ? index : -1);
}

} // namespace qz
