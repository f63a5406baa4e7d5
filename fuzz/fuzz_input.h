#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Fuzz bytes as text the way the program meets it: decoded as UTF-8, invalid sequences replaced.
inline QString FuzzText(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Splits the input at its first NUL byte into two texts, for rules that take two inputs.
inline std::pair<QString, QString> FuzzTextPair(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype nul = bytes.indexOf('\0');
    if (nul < 0)
        return {QString::fromUtf8(bytes), QString()};
    return {QString::fromUtf8(bytes.left(nul)), QString::fromUtf8(bytes.mid(nul + 1))};
}
