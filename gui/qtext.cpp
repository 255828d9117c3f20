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

} // namespace qz
