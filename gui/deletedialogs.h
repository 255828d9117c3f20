// The dialogs of a delete: the confirmation (naming the number of items and their size, and
// offering a permanent delete for the items the trash cannot take), and the progress of the
// delete job with its Cancel and the questions it asks when an item fails.
#pragma once

#include "fsops/deletejob.h"
#include "views/format.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qz {

// What the selection holds, as the confirmation shows it.
struct TDeleteSummary {
    size_t Items = 0;
    int64_t Files = 0, Folders = 0; // inside the items, the items included
    uint64_t Size = 0;
    QStringList Names; // the items' paths (the dialog shows the first few)
};

enum class TDeleteAnswer : uint8_t {
    Cancel,
    Proceed,         // as asked (to the trash, or permanently)
    TrashOthersOnly, // the trash takes what it can; the refused items stay
    TrashAndDelete,  // the trash takes what it can; the refused items are deleted permanently
};

// Asks before a delete. refused: the items the trash cannot take (path: reason), only for a
// delete to the trash. note: a line of its own below the question (empty: none). The buttons
// have object names for tests: btnDeleteConfirm, btnTrashOthersOnly, btnTrashAndDelete,
// btnDeleteCancel.
TDeleteAnswer ConfirmDelete(QWidget* parent, const TDeleteSummary& summary, bool permanent,
                            const QStringList& refused, const TFormatSettings& format,
                            const QString& note = QString());

// Shows a running delete job: items and entries done, a bar, Cancel. A failure of the job is
// asked here (Skip, Skip all, Stop, and Delete permanently after a trash refusal); the
// question's buttons are btnFailSkip, btnFailSkipAll, btnFailStop, btnFailDeletePermanently.
// finished() comes when the job has ended (the dialog then closes).
class TDeleteProgress : public QDialog {
    Q_OBJECT
public:
    TDeleteProgress(std::unique_ptr<TDeleteJobBase> job, bool permanent, QWidget* parent);
    ~TDeleteProgress() override;

    TDeleteJobBase& Job() { return *FJob; }
    // Starts the job and shows the dialog (window-modal, the window keeps painting).
    void Run();
    QPushButton* btnCancel;

signals:
    void jobFinished();

protected:
    void reject() override; // Escape and the close button cancel

private:
    void Poll();
    void AskFailure(const TDeleteFailure& f);
    void OnJobDone();

    std::unique_ptr<TDeleteJobBase> FJob;
    bool FPermanent;
    QLabel* FLabel;
    QProgressBar* FBar;
    QTimer* FTimer;
    bool FDone = false;
};

} // namespace qz
