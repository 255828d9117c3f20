#include "gui/languagedialog.h"

#include "gui/qtext.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace qz {

TfrmSelectLanguage::TfrmSelectLanguage(const QString& localeFolder, const QString& currentCode,
                                       bool ownFolder, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmSelectLanguage"));
    setWindowTitle(Tr("Language"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    cbLanguage = new QComboBox(this);
    cbLanguage->setObjectName(QStringLiteral("cbLanguage"));
    cbLanguage->setAccessibleName(Tr("Language:"));
    int selected = 0;
    FEntries =
        SetupLanguages(localeFolder.toStdString(), currentCode.toStdString(), ownFolder, selected);
    for (const TLanguageEntry& e : FEntries) cbLanguage->addItem(QString::fromStdString(e.Text));
    cbLanguage->setCurrentIndex(selected);
    form->addRow(Tr("Language:"), cbLanguage);
    layout->addLayout(form);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString TfrmSelectLanguage::SelectedLanguageCode() const {
    const int i = cbLanguage->currentIndex();
    if (i < 0 || size_t(i) >= FEntries.size()) return QStringLiteral("en");
    return QString::fromStdString(FEntries[size_t(i)].Code);
}

} // namespace qz
