#include "gui/deletedialogs.h"

#include "base/text.h"
#include "gui/qtext.h"

#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace qz {

namespace {

// At most this many names are listed in a question.
constexpr int kListed = 10;

QString Count(int64_t n) {
    return QLocale().toString(qlonglong(n));
}

QString ListOf(const QStringList& names) {
    QStringList shown = names.mid(0, kListed);
    QString text = shown.join(QLatin1Char('\n'));
    if (names.size() > kListed)
        text += QLatin1Char('\n') + Tr("... and %1 more").arg(Count(names.size() - kListed));
    return text;
}

QPushButton* AddButton(QMessageBox& box, const QString& text, QMessageBox::ButtonRole role,
                       const char* name) {
    QPushButton* b = box.addButton(text, role);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(text);
    return b;
}

} // namespace

TDeleteAnswer ConfirmDelete(QWidget* parent, const TDeleteSummary& s, bool permanent,
                            const QStringList& refused, const TFormatSettings& format,
                            const QString& note) {
    TFormatSettings f = format;
    f.Unit = TDisplayUnit::Dynamic;
    const QString what =
        (s.Items == 1 ? Tr("1 item") : Tr("%1 items").arg(Count(int64_t(s.Items)))) +
        QStringLiteral(" (") + ToQString(FormatSize(s.Size, f)) + QStringLiteral("; ") +
        NTr("%1 file", "%1 files", uint64_t(s.Files)).arg(Count(s.Files)) + QStringLiteral(", ") +
        NTr("%1 folder", "%1 folders", uint64_t(s.Folders)).arg(Count(s.Folders)) +
        QStringLiteral(")");
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("dlgConfirmDelete"));
    box.setWindowTitle(permanent ? Tr("Delete Permanently") : Tr("Move to Trash"));
    box.setIcon(permanent ? QMessageBox::Warning : QMessageBox::Question);
    QString details = ListOf(s.Names);
    QPushButton* confirm = nullptr;
    QPushButton* othersOnly = nullptr;
    QPushButton* andDelete = nullptr;
    if (permanent) {
        box.setText(Tr("Delete %1 permanently?").arg(what) + QStringLiteral("\n") +
                    Tr("This cannot be undone.") +
                    (note.isEmpty() ? QString() : QStringLiteral("\n") + note));
        confirm = AddButton(box, Tr("Delete Permanently"), QMessageBox::DestructiveRole,
                            "btnDeleteConfirm");
    } else if (refused.isEmpty()) {
        box.setText(Tr("Move %1 to the trash?").arg(what));
        confirm = AddButton(box, Tr("Move to Trash"), QMessageBox::AcceptRole, "btnDeleteConfirm");
    } else {
        const int trashable = int(s.Items) - int(refused.size());
        box.setText(Tr("Move %1 to the trash?").arg(what) + QStringLiteral("\n\n") +
                    Tr("%1 of them cannot be moved to the trash:").arg(Count(refused.size())) +
                    QStringLiteral("\n") + ListOf(refused) + QStringLiteral("\n\n") +
                    Tr("They can be deleted permanently instead. This cannot be undone."));
        andDelete = AddButton(box,
                              trashable > 0 ? Tr("Trash the Others, Delete These Permanently")
                                            : Tr("Delete Them Permanently"),
                              QMessageBox::DestructiveRole, "btnTrashAndDelete");
        if (trashable > 0)
            othersOnly = AddButton(box, Tr("Trash Only the Others"), QMessageBox::AcceptRole,
                                   "btnTrashOthersOnly");
    }
    box.setInformativeText(details);
    QPushButton* cancel = AddButton(box, Tr("Cancel"), QMessageBox::RejectRole, "btnDeleteCancel");
    // A permanent delete is never the default answer.
    box.setDefaultButton(permanent || andDelete ? cancel : confirm);
    box.setEscapeButton(cancel);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked && clicked == confirm) return TDeleteAnswer::Proceed;
    if (clicked && clicked == othersOnly) return TDeleteAnswer::TrashOthersOnly;
    if (clicked && clicked == andDelete) return TDeleteAnswer::TrashAndDelete;
    return TDeleteAnswer::Cancel;
}

// ---------------------------------------------------------------- progress

TDeleteProgress::TDeleteProgress(std::unique_ptr<TDeleteJobBase> job, bool permanent,
                                 QWidget* parent)
    : QDialog(parent), FJob(std::move(job)), FPermanent(permanent) {
    setObjectName(QStringLiteral("dlgDeleteProgress"));
    setWindowTitle(permanent ? Tr("Deleting") : Tr("Moving to Trash"));
    setAccessibleName(windowTitle());
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    FLabel = new QLabel(this);
    FLabel->setObjectName(QStringLiteral("lblDeleteProgress"));
    FLabel->setMinimumWidth(360);
    FBar = new QProgressBar(this);
    FBar->setObjectName(QStringLiteral("pbDelete"));
    FBar->setAccessibleName(Tr("Progress"));
    FBar->setRange(0, 1000);
    btnCancel = new QPushButton(Tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnDeleteProgressCancel"));
    layout->addWidget(FLabel);
    layout->addWidget(FBar);
    layout->addWidget(btnCancel, 0, Qt::AlignRight);
    connect(btnCancel, &QPushButton::clicked, this, &TDeleteProgress::reject);
    FTimer = new QTimer(this);
    FTimer->setInterval(100);
    connect(FTimer, &QTimer::timeout, this, &TDeleteProgress::Poll);

    QPointer<TDeleteProgress> self(this);
    FJob->OnFailure = [self](const TDeleteFailure& f) {
        QMetaObject::invokeMethod(
            self,
            [self, f] {
                if (self) self->AskFailure(f);
            },
            Qt::QueuedConnection);
    };
    FJob->OnDone = [self] {
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (self) self->OnJobDone();
            },
            Qt::QueuedConnection);
    };
}

TDeleteProgress::~TDeleteProgress() {
    // The job ends (cancelled if need be) before its callbacks' target goes.
    FJob->Cancel();
    FJob->Wait();
}

void TDeleteProgress::Run() {
    Poll();
    FJob->Start();
    FTimer->start();
    open();
}

void TDeleteProgress::reject() {
    if (FDone) {
        QDialog::reject();
        return;
    }
    FJob->Cancel();
    btnCancel->setEnabled(false);
    FLabel->setText(Tr("Cancelling") + QStringLiteral("..."));
}

void TDeleteProgress::Poll() {
    const uint64_t total = FJob->EntriesTotal();
    const uint64_t done = FJob->EntriesDone();
    FBar->setValue(total ? int(std::min<uint64_t>(done, total) * 1000 / total) : 0);
    if (FJob->WasCancelled()) return;
    FLabel->setText((FPermanent ? Tr("Deleting: %1 of %2 items, %3 entries removed")
                                : Tr("Moving to the trash: %1 of %2 items"))
                        .arg(Count(int64_t(FJob->ItemsDone())), Count(int64_t(FJob->ItemCount())),
                             Count(int64_t(done))));
}

void TDeleteProgress::AskFailure(const TDeleteFailure& f) {
    QMessageBox box(this);
    box.setObjectName(QStringLiteral("dlgDeleteFailure"));
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(f.Trashing ? Tr("Cannot Move to Trash") : Tr("Cannot Delete"));
    const QString path = ToQString(Utf8ToUtf16(f.Path));
    box.setText((f.Trashing ? Tr("This item cannot be moved to the trash:")
                            : Tr("This item cannot be deleted:")) +
                QStringLiteral("\n") + path + QStringLiteral("\n\n") +
                ToQString(Utf8ToUtf16(f.Message)));
    QPushButton* permanently = nullptr;
    if (f.Trashing)
        permanently = AddButton(box, Tr("Delete Permanently"), QMessageBox::DestructiveRole,
                                "btnFailDeletePermanently");
    QPushButton* skip = AddButton(box, Tr("Skip"), QMessageBox::AcceptRole, "btnFailSkip");
    QPushButton* skipAll =
        AddButton(box, Tr("Skip All"), QMessageBox::AcceptRole, "btnFailSkipAll");
    QPushButton* stop = AddButton(box, Tr("Stop"), QMessageBox::RejectRole, "btnFailStop");
    box.setDefaultButton(skip);
    box.setEscapeButton(stop);
    box.exec();
    QAbstractButton* c = box.clickedButton();
    TDeleteChoice choice = TDeleteChoice::Stop;
    if (c == skip) choice = TDeleteChoice::Skip;
    if (c == skipAll) choice = TDeleteChoice::SkipAll;
    if (permanently && c == permanently) choice = TDeleteChoice::DeletePermanently;
    FJob->Answer(choice);
}

void TDeleteProgress::OnJobDone() {
    FJob->Wait();
    FDone = true;
    FTimer->stop();
    Poll();
    emit jobFinished();
    accept();
}

} // namespace qz
