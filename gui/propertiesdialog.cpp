#include "gui/propertiesdialog.h"

#include "base/text.h"
#include "fsops/properties.h"
#include "gui/qtext.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <cstring>

namespace qz {

namespace {

QString Count(uint64_t n) {
    return QLocale().toString(qulonglong(n));
}

QString PathText(const std::string& bytes) {
    return ToQString(Utf8ToUtf16(bytes));
}

} // namespace

TPropertiesDialog::TPropertiesDialog(const std::vector<TPropertiesItem>& items,
                                     const TFormatSettings& format, QWidget* parent)
    : QDialog(parent), FFormat(format) {
    setObjectName(QStringLiteral("dlgProperties"));
    setWindowTitle(Tr("Properties"));
    setAccessibleName(windowTitle());
    auto* layout = new QVBoxLayout(this);
    FForm = new QFormLayout;
    layout->addLayout(FForm);
    if (items.size() == 1)
        AddSingle(items[0]);
    else
        AddSeveral(items);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName(QStringLiteral("btnsProperties"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void TPropertiesDialog::Add(const QString& caption, const QString& value) {
    auto* label = new QLabel(value, this);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAccessibleName(caption);
    label->setObjectName(caption);
    label->setWordWrap(true);
    FForm->addRow(caption + QStringLiteral(":"), label);
}

QString TPropertiesDialog::Value(const QString& caption) const {
    auto* label = findChild<QLabel*>(caption);
    return label ? label->text() : QString();
}

void TPropertiesDialog::AddSingle(const TPropertiesItem& item) {
    const TFormatSettings& f = FFormat;
    const auto size = [&](uint64_t bytes) {
        return ToQString(FormatSize(bytes, f)) + QStringLiteral(" (") +
               Tr("%1 bytes").arg(Count(bytes)) + QStringLiteral(")");
    };
    Add(Tr("Path"), PathText(item.Path));
    PMFT_RECORD r = item.Rec;
    if (item.OnDisk) {
        const TItemProperties p = ReadItemProperties(item.Path);
        if (!p.Ok) {
            Add(Tr("On disk"), Tr("cannot be read") + QStringLiteral(": ") +
                                   QString::fromLocal8Bit(std::strerror(p.Error)));
        } else {
            Add(Tr("Type"), QString::fromUtf8(p.Type));
            if (!p.LinkTarget.empty()) Add(Tr("Link target"), PathText(p.LinkTarget));
            Add(Tr("Size"), size(p.Size));
            Add(Tr("Allocated"), size(p.Allocated));
            Add(Tr("Modified"), QString::fromUtf8(LocalDateText(p.Modified)));
            Add(Tr("Accessed"), QString::fromUtf8(LocalDateText(p.Accessed)));
            Add(Tr("Changed"), QString::fromUtf8(LocalDateText(p.Changed)));
            if (p.HasCreated) Add(Tr("Created"), QString::fromUtf8(LocalDateText(p.Created)));
            Add(Tr("Owner"), QStringLiteral("%1 (%2)").arg(QString::fromUtf8(p.Owner)).arg(p.Uid));
            Add(Tr("Group"), QStringLiteral("%1 (%2)").arg(QString::fromUtf8(p.Group)).arg(p.Gid));
            Add(Tr("Mode"), QString::fromUtf8(p.ModeText));
            Add(Tr("Links"), Count(p.Links));
            Add(Tr("Device"), QStringLiteral("%1:%2").arg(p.DeviceMajor).arg(p.DeviceMinor));
            if (p.IsDeviceNode)
                Add(Tr("Device number"),
                    QStringLiteral("%1:%2").arg(p.SpecialMajor).arg(p.SpecialMinor));
            Add(Tr("Inode"), Count(p.Inode));
        }
    } else if (r) {
        // Not a file of this system: what the scan recorded.
        Add(Tr("Type"), r->IsFolder() ? Tr("Folder") : Tr("File"));
        Add(Tr("Size"), size(r->IsFolder() ? r->SubFoldersTotSize : r->FileSize));
        Add(Tr("Allocated"), size(r->SubFoldersTotSizeAlloc));
        Add(Tr("Modified"), ToQString(FormatLocalDateTime(r->ModifiedDate, f.Numbers)));
        Add(Tr("Created"), ToQString(FormatLocalDateTime(r->CreatedDate, f.Numbers)));
        Add(Tr("Attributes"), ToQString(AttributeLetters(r->DOSAttrib)));
    }
    if (r && r->IsFolder()) {
        Add(Tr("Contents (scanned)"),
            NTr("%1 file", "%1 files", uint64_t(r->SubFoldersNumFiles()))
                    .arg(Count(uint64_t(r->SubFoldersNumFiles()))) +
                QStringLiteral(", ") +
                NTr("%1 folder", "%1 folders", uint64_t(r->SubFoldersNumDirs()))
                    .arg(Count(uint64_t(r->SubFoldersNumDirs()))) +
                QStringLiteral("; ") + ToQString(FormatSize(r->SubFoldersTotSize, f)) +
                QStringLiteral(", ") + Tr("allocated") + QStringLiteral(" ") +
                ToQString(FormatSize(r->SubFoldersTotSizeAlloc, f)));
    }
}

void TPropertiesDialog::AddSeveral(const std::vector<TPropertiesItem>& items) {
    uint64_t files = 0, folders = 0, size = 0, alloc = 0;
    for (const TPropertiesItem& i : items) {
        PMFT_RECORD r = i.Rec;
        if (!r) continue;
        if (r->IsFolder()) {
            ++folders;
            files += uint64_t(r->SubFoldersNumFiles());
            folders += uint64_t(r->SubFoldersNumDirs());
            size += r->SubFoldersTotSize;
            alloc += r->SubFoldersTotSizeAlloc;
        } else {
            ++files;
            size += r->FileSize;
            alloc += r->DoNotCountFlag ? 0 : r->AllocSize;
        }
    }
    const auto sized = [&](uint64_t bytes) {
        return ToQString(FormatSize(bytes, FFormat)) + QStringLiteral(" (") +
               Tr("%1 bytes").arg(Count(bytes)) + QStringLiteral(")");
    };
    Add(Tr("Items"), Count(items.size()));
    Add(Tr("Files"), Count(files));
    Add(Tr("Folders"), Count(folders));
    Add(Tr("Size"), sized(size));
    Add(Tr("Allocated"), sized(alloc));
    QStringList paths;
    for (size_t k = 0; k < items.size() && k < 200; ++k) paths << PathText(items[k].Path);
    if (items.size() > 200) paths << Tr("... and %1 more").arg(Count(items.size() - 200));
    auto* list = new QPlainTextEdit(paths.join(QLatin1Char('\n')), this);
    list->setObjectName(QStringLiteral("edPropertiesItems"));
    list->setAccessibleName(Tr("Items"));
    list->setReadOnly(true);
    list->setMinimumHeight(120);
    FForm->addRow(list);
}

} // namespace qz
