#include "gui/filemime.h"

#include "fsops/clipformats.h"

#include <QString>

namespace qz {

namespace {

// Text for "text/plain": Qt's own text form when the bytes are valid UTF-8 (editors read it as
// such), else the bytes themselves.
void SetPlainText(QMimeData& mime, const std::string& text) {
    const QByteArray bytes(text.data(), qsizetype(text.size()));
    const QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() == bytes)
        mime.setText(decoded);
    else
        mime.setData(QStringLiteral("text/plain"), bytes);
}

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

std::unique_ptr<QMimeData> FileMimeData(const std::vector<std::string>& paths, bool cut) {
    const TFileClipboard c = MakeFileClipboard(paths, cut);
    auto mime = std::make_unique<QMimeData>();
    // The URI list is set as bytes: a QUrl would decode and re-encode names that are not
    // UTF-8.
    mime->setData(QString::fromLatin1(kMimeUriList), Bytes(c.UriList));
    mime->setData(QString::fromLatin1(kMimeGnomeCopiedFiles), Bytes(c.GnomeCopiedFiles));
    if (cut) mime->setData(QString::fromLatin1(kMimeKdeCutSelection), Bytes(c.KdeCutSelection));
    SetPlainText(*mime, c.Text);
    return mime;
}

std::unique_ptr<QMimeData> PathTextMimeData(const std::vector<std::string>& paths) {
    auto mime = std::make_unique<QMimeData>();
    SetPlainText(*mime, CopyPathText(paths));
    return mime;
}

} // namespace qz
