// The language dialog (TfrmSelectLanguage, caption "Language"): the catalogues there are, by
// English name and code; OK gives SelectedLanguageCode.
#pragma once

#include "app/languages.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QDialogButtonBox;

namespace qz {

class TfrmSelectLanguage : public QDialog {
    Q_OBJECT
public:
    // ownFolder: localeFolder is the program's own (every subfolder counts).
    TfrmSelectLanguage(const QString& localeFolder, const QString& currentCode, bool ownFolder,
                       QWidget* parent = nullptr);
    // The code of the entry chosen.
    QString SelectedLanguageCode() const;

    QComboBox* cbLanguage;
    QDialogButtonBox* Buttons;

private:
    std::vector<TLanguageEntry> FEntries;
};

} // namespace qz
