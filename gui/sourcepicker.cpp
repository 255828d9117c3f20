#include "gui/sourcepicker.h"

#include "base/text.h"
#include "gui/qtext.h"

#include <algorithm>
#include <optional>

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

namespace {
bool IsDrive(const TSourceEntry& e) {
    return e.Kind == DT_DRIVE || e.Kind == DT_NTFS;
}
} // namespace

void TSourcePicker::RefreshDrives(TSourceList list) {
    const TSourceEntry* selected = SelectedEntry();
    const std::optional<TSourceEntry> was =
        selected ? std::optional<TSourceEntry>(*selected) : std::nullopt;
    std::vector<std::string> knownDrives;
    for (const TSourceEntry& e : FList.Entries)
        if (IsDrive(e)) knownDrives.push_back(e.Path);
    SetList(std::move(list));
    int pick = -1;
    for (size_t i = 0; i < FList.Entries.size() && pick < 0; ++i) {
        const TSourceEntry& e = FList.Entries[i];
        if (was) {
            if (e.Text == was->Text) pick = int(i);
        } else if (IsDrive(e) &&
                   std::find(knownDrives.begin(), knownDrives.end(), e.Path) == knownDrives.end()) {
            pick = int(i);
        }
    }
    if (was && pick < 0 && !was->Path.empty())
        for (size_t i = 0; i < FList.Entries.size() && pick < 0; ++i) {
            const TSourceEntry& e = FList.Entries[i];
            if (e.Path == was->Path && (IsDrive(e) == IsDrive(*was)) &&
                (IsDrive(e) || e.Kind == was->Kind))
                pick = int(i);
        }
    SelectQuietly(pick);
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
