#include "gui/qtext.h"

#include "base/text.h"

#include <QFile>

namespace qz {

std::string ToLocalPath(const QString& s) {
    const QByteArray bytes = QFile::encodeName(s);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QString Tr(const char* english) {
    return QString::fromUtf8(tr(english));
}

QString NTr(const char* singular, const char* plural, uint64_t n) {
    return QString::fromUtf8(ntr(singular, plural, n));
}

} // namespace qz
