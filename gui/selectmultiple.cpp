#include "gui/selectmultiple.h"

#include "base/text.h"
#include "gui/qtext.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace qz {

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kNeedsRootRole = Qt::UserRole + 2;

// A check list in which a click anywhere on an item toggles its tick once (the box itself
// included); Space toggles the current item as the list always does.
class TCheckList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QListWidgetItem* item = itemAt(event->position().toPoint());
        if (!item || event->button() != Qt::LeftButton) {
            QListWidget::mouseReleaseEvent(event);
            return;
        }
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        event->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        // The second click of a double click is a click of its own.
        mousePressEvent(event);
    }
};

bool Ticked(const QListWidgetItem* item) {
    return item->checkState() == Qt::Checked;
}

} // namespace

TfrmSelectMultiple::TfrmSelectMultiple(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSelectMultiple"));
    setWindowTitle(Tr("Select Multiple"));
    setAccessibleName(Tr("Select Multiple"));
    setModal(true);

    clbDrives = new TCheckList(this);
    clbDrives->setObjectName(QStringLiteral("clbDrives"));
    clbDrives->setAccessibleName(Tr("Sources to scan together"));
    clbDrives->setSelectionMode(QAbstractItemView::SingleSelection);
    clbDrives->setContextMenuPolicy(Qt::ActionsContextMenu);
    actSelectAll = new QAction(Tr("Select All"), clbDrives);
    actSelectAll->setObjectName(QStringLiteral("actSelectAll"));
    actSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    actSelectAll->setShortcutContext(Qt::WindowShortcut);
    connect(actSelectAll, &QAction::triggered, this, [this] { SelectAll(true); });
    actSelectNone = new QAction(Tr("Select None"), clbDrives);
    actSelectNone->setObjectName(QStringLiteral("actSelectNone"));
    actSelectNone->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    actSelectNone->setShortcutContext(Qt::WindowShortcut);
    connect(actSelectNone, &QAction::triggered, this, [this] { SelectAll(false); });
    clbDrives->addAction(actSelectAll);
    clbDrives->addAction(actSelectNone);

    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(Tr(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(Tr(text));
        return b;
    };
    btnAddFolder = button("btnAddFolder", "Add Folder...");
    btnRemoveFolder = button("btnRemoveFolder", "Remove Folder...");
    btnOK = button("btnOK", "OK");
    btnCancel = button("btnCancel", "Cancel");
    btnOK->setDefault(true);
    connect(btnAddFolder, &QPushButton::clicked, this, &TfrmSelectMultiple::AddFolderClick);
    connect(btnRemoveFolder, &QPushButton::clicked, this, &TfrmSelectMultiple::RemoveFolderClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmSelectMultiple::accept);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmSelectMultiple::reject);

    auto* side = new QVBoxLayout;
    side->addWidget(btnAddFolder);
    side->addWidget(btnRemoveFolder);
    side->addStretch(1);
    side->addWidget(btnOK);
    side->addWidget(btnCancel);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(clbDrives, 1);
    layout->addLayout(side);
    resize(560, 360);

    AskFolder = [this] {
        return QFileDialog::getExistingDirectory(this, Tr("Add Folder"), QDir::homePath());
    };
    ShowMessage = [this](const QString& text) {
        QMessageBox::warning(this, Tr("Select Multiple"), text);
    };
}

QListWidgetItem* TfrmSelectMultiple::AddItem(const TSourceEntry& e, bool ticked) {
    auto* item = new QListWidgetItem(ToQString(e.Text), clbDrives);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    item->setData(kKindRole, int(e.Kind));
    item->setData(kPathRole, QByteArray::fromStdString(e.Path));
    item->setData(kNeedsRootRole, e.NeedsRoot);
    return item;
}

void TfrmSelectMultiple::LoadList(const TSourceList& list,
                                  const std::vector<std::string>& customFolders,
                                  const std::vector<TMountInfo>& mounts) {
    FMounts = mounts;
    QSet<QString> ticked;
    for (int i = 0; i < clbDrives->count(); ++i)
        if (Ticked(clbDrives->item(i))) ticked.insert(clbDrives->item(i)->text());
    clbDrives->clear();
    QSet<QByteArray> paths;
    for (const TSourceEntry& e : list.Entries) {
        if (e.Kind != DT_DRIVE && e.Kind != DT_NTFS && e.Kind != DT_SUBST && e.Kind != DT_NETWORK &&
            e.Kind != DT_USERFOLDER && e.Kind != DT_DEVICE)
            continue;
        AddItem(e, ticked.contains(ToQString(e.Text)));
        if (e.Kind == DT_USERFOLDER) paths.insert(QByteArray::fromStdString(e.Path));
    }
    for (const std::string& f : customFolders) {
        if (f.empty() || paths.contains(QByteArray::fromStdString(f))) continue;
        TSourceEntry e;
        e.Kind = DT_USERFOLDER;
        e.Path = f;
        e.Text = Utf8ToUtf16(f);
        AddItem(e, ticked.contains(ToQString(e.Text)));
        paths.insert(QByteArray::fromStdString(f));
    }
    if (clbDrives->count() > 0) clbDrives->setCurrentRow(0);
}

std::vector<TSourceEntry> TfrmSelectMultiple::TickedEntries() const {
    std::vector<TSourceEntry> out;
    for (int i = 0; i < clbDrives->count(); ++i) {
        const QListWidgetItem* item = clbDrives->item(i);
        if (!Ticked(item)) continue;
        TSourceEntry e;
        e.Kind = TSourceKind(item->data(kKindRole).toInt());
        e.Path = item->data(kPathRole).toByteArray().toStdString();
        e.Text = ToU16(item->text());
        e.NeedsRoot = item->data(kNeedsRootRole).toBool();
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<std::string> TfrmSelectMultiple::UserFolders() const {
    std::vector<std::string> out;
    for (int i = 0; i < clbDrives->count(); ++i) {
        const QListWidgetItem* item = clbDrives->item(i);
        if (item->data(kKindRole).toInt() == DT_USERFOLDER)
            out.push_back(item->data(kPathRole).toByteArray().toStdString());
    }
    return out;
}

void TfrmSelectMultiple::SelectAll(bool ticked) {
    for (int i = 0; i < clbDrives->count(); ++i)
        clbDrives->item(i)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void TfrmSelectMultiple::AddFolderClick() {
    const QString folder = AskFolder ? AskFolder() : QString();
    if (folder.isEmpty()) return;
    TSourceEntry e;
    e.Kind = DT_USERFOLDER;
    e.Path = NormalizePath(ToLocalPath(folder));
    e.Text = ToU16(QFile::decodeName(QByteArray::fromStdString(e.Path)));
    for (int i = 0; i < clbDrives->count(); ++i)
        if (clbDrives->item(i)->data(kPathRole).toByteArray().toStdString() == e.Path &&
            clbDrives->item(i)->data(kKindRole).toInt() == DT_USERFOLDER) {
            clbDrives->setCurrentRow(i); // listed already
            return;
        }
    clbDrives->setCurrentItem(AddItem(e, true));
}

void TfrmSelectMultiple::RemoveFolderClick() {
    QListWidgetItem* item = clbDrives->currentItem();
    if (item && item->data(kKindRole).toInt() == DT_USERFOLDER) delete item;
}

void TfrmSelectMultiple::accept() {
    const std::vector<TSourceEntry> ticked = TickedEntries();
    for (const TSourceEntry& inner : ticked) {
        for (const TSourceEntry& outer : ticked) {
            if (&inner == &outer || inner.Path.empty() || outer.Path.empty()) continue;
            if (!SourceContains(outer.Path, inner.Path, FMounts)) continue;
            // Identical paths are reported once, for the first of the two.
            if (inner.Path == outer.Path && &outer < &inner) continue;
            if (ShowMessage)
                ShowMessage(QStringLiteral("\"%1\"\n%2\n\"%3\"\n\n%4")
                                .arg(ToQString(inner.Text), Tr("is contained in"),
                                     ToQString(outer.Text), Tr("Both cannot be selected.")));
            const QList<QListWidgetItem*> items =
                clbDrives->findItems(ToQString(inner.Text), Qt::MatchExactly);
            if (!items.isEmpty()) clbDrives->setCurrentItem(items.front());
            return;
        }
    }
    if (SaveUserFolders && !SaveUserFolders(UserFolders()) && ShowMessage)
        ShowMessage(Tr("The folders could not be stored in the settings file."));
    QDialog::accept();
}

} // namespace qz
