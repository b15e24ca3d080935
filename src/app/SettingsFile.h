#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace cantrel {

// The lines of "Cantrel.ini": name=value, no sections, no comments.
class SettingsFile {
public:
    SettingsFile() = default;
    // CR, LF and CR LF each end a line.
    static SettingsFile parse(const QByteArray& bytes);

    // The value of the first line whose text before its first "=" is the key,
    // without regard to case; nothing when missing or empty.
    std::optional<QString> value(const QString& key) const;
    // The value as a whole number; a value that is not one counts as absent.
    std::optional<int> number(const QString& key) const;

    // Appends an entry; an empty value is not written at all.
    void add(const QString& key, const QString& value);
    void add(const QString& key, qint64 value) { add(key, QString::number(value)); }
    // Every entry followed by CR LF, the last one included.
    QByteArray bytes() const;

private:
    QStringList lines_;
};

} // namespace cantrel
