// Text from the core (file names and paths are bytes) for widgets, and back. The only
// place the front end converts names, so names that are not valid UTF-8 survive.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>
#include <string_view>

namespace corvane::gui {

inline QString FromBytes(std::string_view bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

inline std::string ToBytes(const QString& text) {
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace corvane::gui
