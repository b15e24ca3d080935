#include "app/SettingsFile.h"

#include "platform/LosslessText.h"
#include "schedule/MonthCalendarFile.h"

namespace cantrel {

SettingsFile SettingsFile::parse(const QByteArray& bytes) {
    SettingsFile file;
    const QString text = decodeLossless(bytes);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != QLatin1Char('\r') && text[i] != QLatin1Char('\n'))
            continue;
        if (i < text.size() || i > start)
            file.lines_.append(text.mid(start, i - start));
        if (i + 1 < text.size() && text[i] == QLatin1Char('\r') && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    return file;
}

std::optional<QString> SettingsFile::value(const QString& key) const {
    for (const QString& line : lines_) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || QStringView(line).left(eq).compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString found = line.mid(eq + 1);
        if (found.isEmpty())
            return std::nullopt;
        return found;
    }
    return std::nullopt;
}

std::optional<int> SettingsFile::number(const QString& key) const {
    const std::optional<QString> text = value(key);
    return text ? parseWholeNumber(*text) : std::nullopt;
}

void SettingsFile::add(const QString& key, const QString& value) {
    if (!value.isEmpty())
        lines_.append(key + QLatin1Char('=') + value);
}

QByteArray SettingsFile::bytes() const {
    QByteArray out;
    for (const QString& line : lines_)
        out += encodeLossless(line) + "\r\n";
    return out;
}

} // namespace cantrel
