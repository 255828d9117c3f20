#include "gui/retranslate.h"

#include "base/debuglog.h"
#include "base/translate.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTranslator>
#include <QWidget>
#include <functional>
#include <vector>

namespace qz {

namespace {

// One text to set again: how to write it, and its English key.
struct TText {
    std::function<void(const QString&)> Set;
    QByteArray English;
};

// Collects a text for re-setting when it is a catalogue entry (its English key is known).
void Collect(std::vector<TText>& out, const QString& shown,
             std::function<void(const QString&)> set) {
    if (shown.isEmpty()) return;
    const QByteArray utf8 = shown.toUtf8();
    const char* english = EnglishOf(utf8.constData());
    // The text as the current language shows it must come from the English key (it does for
    // English texts as they are).
    if (QString::fromUtf8(tr(english)) != shown) return;
    out.push_back({std::move(set), QByteArray(english)});
}

void CollectWidget(std::vector<TText>& out, QWidget* w) {
    Collect(out, w->windowTitle(), [w](const QString& t) { w->setWindowTitle(t); });
    Collect(out, w->toolTip(), [w](const QString& t) { w->setToolTip(t); });
    Collect(out, w->accessibleName(), [w](const QString& t) { w->setAccessibleName(t); });
    Collect(out, w->accessibleDescription(),
            [w](const QString& t) { w->setAccessibleDescription(t); });
    Collect(out, w->statusTip(), [w](const QString& t) { w->setStatusTip(t); });
    if (auto* l = qobject_cast<QLabel*>(w))
        Collect(out, l->text(), [l](const QString& t) { l->setText(t); });
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        Collect(out, b->text(), [b](const QString& t) { b->setText(t); });
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        Collect(out, g->title(), [g](const QString& t) { g->setTitle(t); });
    else if (auto* m = qobject_cast<QMenu*>(w))
        Collect(out, m->title(), [m](const QString& t) { m->setTitle(t); });
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        Collect(out, e->placeholderText(), [e](const QString& t) { e->setPlaceholderText(t); });
    if (auto* tabs = qobject_cast<QTabWidget*>(w))
        for (int i = 0; i < tabs->count(); ++i) {
            Collect(out, tabs->tabText(i), [tabs, i](const QString& t) { tabs->setTabText(i, t); });
            Collect(out, tabs->tabToolTip(i),
                    [tabs, i](const QString& t) { tabs->setTabToolTip(i, t); });
        }
    if (auto* combo = qobject_cast<QComboBox*>(w); combo && !combo->isEditable())
        for (int i = 0; i < combo->count(); ++i)
            Collect(out, combo->itemText(i),
                    [combo, i](const QString& t) { combo->setItemText(i, t); });
}

void CollectAction(std::vector<TText>& out, QAction* a) {
    Collect(out, a->text(), [a](const QString& t) { a->setText(t); });
    // An action without a tool tip of its own reports its text: set it only when it differs.
    if (a->toolTip() != a->text())
        Collect(out, a->toolTip(), [a](const QString& t) { a->setToolTip(t); });
    Collect(out, a->statusTip(), [a](const QString& t) { a->setStatusTip(t); });
}

} // namespace

TLanguageSwitch::TLanguageSwitch(QString localeFolder, QObject* parent)
    : QObject(parent), FLocaleFolder(std::move(localeFolder)) {}

TLanguageSwitch::~TLanguageSwitch() {
    if (FQtTranslator) QCoreApplication::removeTranslator(FQtTranslator.get());
}

void TLanguageSwitch::LoadQtCatalogue() {
    if (FQtTranslator) {
        QCoreApplication::removeTranslator(FQtTranslator.get());
        FQtTranslator.reset();
    }
    const QString code = QString::fromStdString(CurrentLanguage());
    if (code == QLatin1String("en")) return;
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // qtbase_de_AT, else qtbase_de (QTranslator tries the shorter names itself).
    if (translator->load(QStringLiteral("qtbase_") + code, folder)) {
        QCoreApplication::installTranslator(translator.get());
        FQtTranslator = std::move(translator);
    } else {
        DebugLog("No Qt catalogue for " + code.toStdString() + " in " + folder.toStdString());
    }
}

bool TLanguageSwitch::Switch(const QString& code) {
    // The texts as the old language shows them, with their English keys.
    std::vector<TText> texts;
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget* w : widgets) {
        CollectWidget(texts, w);
        for (QAction* a : w->actions()) CollectAction(texts, a);
    }
    // Actions owned by a widget but not added to one (shortcuts, context menus).
    for (QWidget* w : QApplication::topLevelWidgets())
        for (QAction* a : w->findChildren<QAction*>())
            if (a->associatedObjects().isEmpty()) CollectAction(texts, a);
    const bool ok = ActivateLanguage(code.toStdString(), FLocaleFolder.toStdString());
    DebugLog("Language switched to " + code.toStdString() + (ok ? "" : " (no catalogue)"));
    for (const TText& t : texts) t.Set(QString::fromUtf8(qz::tr(t.English.constData())));
    // Header titles come from the models, which translate them when asked.
    for (QWidget* w : widgets)
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model()) {
            QAbstractItemModel* m = view->model();
            if (m->columnCount() > 0)
                emit m->headerDataChanged(Qt::Horizontal, 0, m->columnCount() - 1);
        }
    LoadQtCatalogue();
    emit languageChanged();
    return ok;
}

} // namespace qz
