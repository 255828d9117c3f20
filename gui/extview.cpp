#include "gui/extview.h"

#include "gui/columnmenu.h"
#include "gui/filetypecache.h"
#include "gui/filetypesdelegate.h"
#include "gui/qtext.h"
#include "gui/treedelegate.h"
#include "gui/windowsettings.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>

namespace qz {

TExtView::TExtView(TFileTypesModel& model, QWidget* parent) : QTreeView(parent), FModel(model) {
    setObjectName(QStringLiteral("vstExt"));
    setAccessibleName(Tr("File types"));
    setModel(&model);
    FDelegate = new TFileTypesDelegate(model, this);
    setItemDelegate(FDelegate);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setFocusPolicy(Qt::StrongFocus);
    SetupHeader();

    actSelectExt = new QAction(Tr("Select"), this);
    actSelectExt->setObjectName(QStringLiteral("mnuExtSelect"));
    connect(actSelectExt, &QAction::triggered, this, [this] {
        if (!currentIndex().isValid()) return;
        emit selectExtension(ToQString(CurrentKey()));
    });
    actExportFileTypes = nullptr;
    actShowFileTypes = nullptr;
    connect(&model.Cache(), &TFileTypeCache::updated, this, [this] { FModel.Repaint(); });
    connect(&model, &TFileTypesModel::sortChanged, this, [this](int column, Qt::SortOrder order) {
        header()->setSortIndicatorShown(true);
        header()->setSortIndicator(column, order);
        viewport()->update();
    });
}

void TExtView::SetupHeader() {
    QHeaderView* h = header();
    h->setAccessibleName(Tr("File type columns"));
    h->setSectionsMovable(true);
    h->setFirstSectionMovable(false);
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(false); // statistics order until the first click
    h->setStretchLastSection(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The style's minimum may exceed the swatch's 25 pixels.
    h->setMinimumSectionSize(std::min(h->minimumSectionSize(), 20));
    const qreal dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    for (int c = 0; c < ecCount; ++c) {
        const int w = TFileTypesModel::InitialWidth(c);
        h->resizeSection(c, c == ecSwatch ? std::max(25, int(w * dpi / 96.0 + 0.5)) : w);
    }
    std::vector<int> byPosition(ecCount);
    for (int c = 0; c < ecCount; ++c) byPosition[size_t(TFileTypesModel::InitialPosition(c))] = c;
    for (int pos = 0; pos < ecCount; ++pos)
        h->moveSection(h->visualIndex(byPosition[size_t(pos)]), pos);
    h->setSectionResizeMode(ecSwatch, QHeaderView::Fixed);
    // The swatch and the extension always show.
    AttachColumnMenu(this, [](int c) { return c == ecSwatch || c == ecExtension; });
    // The swatch stays the first column: a column dropped before it goes back behind it.
    connect(h, &QHeaderView::sectionMoved, this, [h](int, int, int) {
        if (h->visualIndex(ecSwatch) != 0) h->moveSection(h->visualIndex(ecSwatch), 0);
    });
    connect(h, &QHeaderView::sectionClicked, this, [this](int column) {
        if (column != ecSwatch) FModel.HeaderClick(column);
    });
}

void TExtView::AttachSettings(TWindowSettings& settings) {
    settings.OnRestore([this](TWindowSettings& s) {
        QHeaderView* h = header();
        s.RestoreHeader(QStringLiteral("extcol"), h);
        const qreal dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
        h->resizeSection(ecSwatch, std::max(25, int(25 * dpi / 96.0 + 0.5)));
        h->setSectionHidden(ecSwatch, false);
        if (h->visualIndex(ecSwatch) != 0) h->moveSection(h->visualIndex(ecSwatch), 0);
    });
    settings.OnSave(
        [this](TWindowSettings& s) { s.SaveHeader(QStringLiteral("extcol"), header()); });
}

std::u16string TExtView::CurrentKey() const {
    const TExtNodeData* row = FModel.RowOf(currentIndex());
    return row ? row->ExtKey : std::u16string();
}

bool TExtView::SelectRowOf(std::u16string_view key) {
    const auto& rows = FModel.Rows().Rows;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].ExtKey == key) {
            setCurrentIndex(FModel.index(int(i), ecExtension));
            scrollTo(currentIndex());
            return true;
        }
    return false;
}

void TExtView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.setAccessibleName(Tr("File types"));
    const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (at.isValid()) {
        setCurrentIndex(at);
        menu.addAction(actSelectExt);
        actSelectExt->setEnabled(!CurrentKey().empty());
        if (actExportFileTypes) menu.addAction(actExportFileTypes);
    }
    if (actShowFileTypes) menu.addAction(actShowFileTypes);
    if (!menu.isEmpty()) menu.exec(event->globalPos());
}

void TExtView::keyPressEvent(QKeyEvent* event) {
    // Ctrl + keypad plus and minus do nothing here.
    const Qt::KeyboardModifiers mods = event->modifiers();
    if ((mods & Qt::KeypadModifier) && (mods & Qt::ControlModifier) &&
        (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Minus)) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

} // namespace qz
