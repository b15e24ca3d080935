// Cantrel.ini: what is read is written back line for line, and entries added
// by the program are found again after a save and a load.

#include "FuzzCheck.h"
#include "app/SettingsFile.h"
#include "schedule/MonthCalendarFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

using namespace cantrel;
using fuzz::shown;

namespace {

// The bytes as the list writes them after reading them: the same lines, each
// ended by CR LF, whatever ended it before.
QByteArray withCrLf(QByteArrayView bytes) {
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        out += bytes.sliced(start, i - start).toByteArray() + "\r\n";
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        out += bytes.sliced(start).toByteArray() + "\r\n";
    return out;
}

QByteArray shownValue(const std::optional<QString>& value) {
    return value ? shown(*value) : QByteArray("nothing");
}

void checkFile(QByteArrayView bytes) {
    const SettingsFile file = SettingsFile::parse(bytes.toByteArray());
    const QByteArray written = file.bytes();
    FUZZ_CHECK(written == withCrLf(bytes), shown(bytes) + " written as " + shown(written));

    const SettingsFile again = SettingsFile::parse(written);
    FUZZ_CHECK(again.bytes() == written, shown(written));
    // The names of the first lines, looked up as they stand and in other
    // capitals; each lookup reads the whole list.
    QString text = decodeLossless(bytes);
    text.replace(u'\n', u'\r');
    for (const QString& line : text.split(u'\r').mid(0, 64)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString name = line.left(eq);
        for (const QString& key : {name, name.toUpper(), name.toLower()}) {
            const std::optional<QString> value = file.value(key);
            FUZZ_CHECK(value == again.value(key) && (!value || !value->isEmpty()),
                       shown(key) + ": " + shownValue(value) + " then " +
                           shownValue(again.value(key)));
            const std::optional<int> number = file.number(key);
            FUZZ_CHECK(number == (value ? parseWholeNumber(*value) : std::nullopt), shown(key));
        }
    }
}

void checkEntries(QByteArrayView bytes) {
    // Each row of the table is one entry, name then value; a name cannot hold
    // "=", since the first one ends it. Every entry is looked up against all
    // the others, so their number is kept small.
    QList<QPair<QString, QString>> entries;
    for (const QStringList& row : fuzz::tableOf(bytes).mid(0, 64))
        entries.append({QString(row[0]).replace(u'=', u'_'), row.value(1)});
    // A number first, so no later entry of the same name hides it.
    qint64 number = 0;
    if (!bytes.isEmpty())
        std::memcpy(&number, bytes.data(), std::min<std::size_t>(sizeof number, bytes.size()));
    const QString numberKey = QStringLiteral("Number");

    SettingsFile file;
    file.add(numberKey, number);
    for (const auto& [key, value] : entries)
        file.add(key, value);
    const SettingsFile loaded = SettingsFile::parse(file.bytes());

    const bool fits =
        number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max();
    FUZZ_CHECK(loaded.number(numberKey) == (fits ? std::optional<int>(int(number)) : std::nullopt),
               QByteArray::number(number));
    FUZZ_CHECK(loaded.value(numberKey) == QString::number(number), QByteArray::number(number));
    for (const auto& [key, value] : entries) {
        // The first entry of that name with a value, empty ones being left out.
        std::optional<QString> expected;
        if (key.compare(numberKey, Qt::CaseInsensitive) == 0)
            expected = QString::number(number);
        for (qsizetype k = 0; !expected && k < entries.size(); ++k)
            if (!entries[k].second.isEmpty() &&
                entries[k].first.compare(key, Qt::CaseInsensitive) == 0)
                expected = entries[k].second;
        FUZZ_CHECK(loaded.value(key) == expected,
                   shown(key) + ": " + shownValue(loaded.value(key)) + ", expected " +
                       shownValue(expected) + "\nfile: " + shown(file.bytes()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkFile(bytes);
    checkEntries(bytes);
    return 0;
}
