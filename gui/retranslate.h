// Switching the language while the program runs (DoFormLocalisation).
//
// Every text the window shows was set through tr() from its English key, by whichever part of
// the window made it. A language switch finds each such text again: every widget and action
// of the application is visited, each text (captions, titles, tab texts, tool tips, accessible
// names, placeholder texts) is looked up in the catalogue that was current to get its English
// key, and set to the new language's text. Texts that are no catalogue entry (file names,
// numbers, texts put together from pieces) are left as they are; the parts that make such
// texts refresh them on the languageChanged signal of TLanguageSwitch. Item models' header
// titles are asked for again.
//
// Qt's own dialogs and standard buttons are translated through Qt's catalogues (qtbase_LANG),
// loaded from Qt's translations folder.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QTranslator;

namespace qz {

class TLanguageSwitch : public QObject {
    Q_OBJECT
public:
    // localeFolder: where the program's catalogues are.
    explicit TLanguageSwitch(QString localeFolder, QObject* parent = nullptr);
    ~TLanguageSwitch() override;

    // Activates code and sets every text of the application again. False when the language has
    // no catalogue (the English texts are then shown).
    bool Switch(const QString& code);
    // Loads Qt's own catalogue for the language now current (at start).
    void LoadQtCatalogue();
    const QString& LocaleFolder() const { return FLocaleFolder; }
    void SetLocaleFolder(const QString& folder) { FLocaleFolder = folder; }

signals:
    void languageChanged();

private:
    QString FLocaleFolder;
    std::unique_ptr<QTranslator> FQtTranslator;
};

} // namespace qz
