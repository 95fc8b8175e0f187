// Texts between the plain C++ side and the widgets. Module names, results,
// state texts and captions are 8-bit texts; Latin-1 carries every byte
// unchanged both ways, so a name read back from a widget is the name that
// went in.
#pragma once

#include <QString>

#include <string>
#include <string_view>

inline QString toQt(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string fromQt(const QString& text) {
    return text.toLatin1().toStdString();
}
