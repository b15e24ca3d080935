// Times of day as a .24h file's first cells hold them, and the order the
// schedule puts its rows in by those times.

#include "FuzzCheck.h"
#include "schedule/TimeOfDay.h"
#include "schedule/TimeOrder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace cantrel;
using fuzz::shown;

namespace {

QByteArray shownTime(const std::optional<int>& t) {
    return t ? QByteArray::number(*t) : QByteArray("nothing");
}

// A second reading of "H[:M[:S]]" built differently: split at the colons,
// then each part is digits whose value, leading zeros aside, is in range.
std::optional<int> referenceTime(QStringView text) {
    const QString trimmed = fuzz::trimmedBlanks(text);
    const QStringList parts = trimmed.split(u':');
    if (parts.size() > 3)
        return std::nullopt;
    static constexpr int limits[] = {23, 59, 59};
    static constexpr int scale[] = {3600, 60, 1};
    int seconds = 0;
    for (qsizetype k = 0; k < parts.size(); ++k) {
        const QString& part = parts[k];
        if (part.isEmpty())
            return std::nullopt;
        for (const QChar c : part)
            if (c < u'0' || c > u'9')
                return std::nullopt;
        QStringView digits = part;
        while (digits.size() > 1 && digits.front() == u'0')
            digits = digits.sliced(1);
        if (digits.size() > 2 || digits.toInt() > limits[k])
            return std::nullopt;
        seconds += digits.toInt() * scale[k];
    }
    return seconds;
}

std::optional<int> checkTime(QStringView text) {
    const std::optional<int> seconds = parseTimeOfDay(text);
    FUZZ_CHECK(seconds == referenceTime(text), shown(text) + " gives " + shownTime(seconds) +
                                                   ", expected " +
                                                   shownTime(referenceTime(text)));
    if (seconds) {
        // Written back the way the schedule shows times, it reads the same.
        const int t = *seconds;
        const QString shownAs = QStringLiteral("%1:%2:%3")
                                    .arg(t / 3600, 2, 10, QLatin1Char('0'))
                                    .arg(t / 60 % 60, 2, 10, QLatin1Char('0'))
                                    .arg(t % 60, 2, 10, QLatin1Char('0'));
        FUZZ_CHECK(t >= 0 && t < 24 * 3600 && parseTimeOfDay(shownAs) == seconds,
                   shown(text) + " gives " + shownTime(seconds) + ", " + shown(shownAs) +
                       " gives " + shownTime(parseTimeOfDay(shownAs)));
    }
    return seconds;
}

QByteArray shownOrder(const TimeOrderResult& r) {
    QByteArray out = "order";
    for (const int k : r.order)
        out += ' ' + QByteArray::number(k);
    return out + ", selected " + QByteArray::number(r.selected) + ", bad row " +
           shownTime(r.badRow);
}

void checkOrder(const std::vector<std::optional<int>>& times, int selected) {
    const TimeOrderResult fast = orderByTime(times, selected);
    const TimeOrderResult literal = orderByTimeLiteral(times, selected);
    const auto context = [&] {
        QByteArray out = "times";
        for (const auto& t : times)
            out += ' ' + shownTime(t);
        return out + ", selected " + QByteArray::number(selected) + "\nfast: " +
               shownOrder(fast) + "\nliteral: " + shownOrder(literal);
    };
    FUZZ_CHECK(fast.order == literal.order && fast.selected == literal.selected &&
                   fast.badRow == literal.badRow,
               context());
    if (fast.badRow)
        return;
    std::vector<int> sorted = fast.order;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t k = 0; k < sorted.size(); ++k)
        FUZZ_CHECK(sorted[k] == int(k) && (k == 0 || *times[fast.order[k - 1]] <=
                                                         *times[fast.order[k]]),
                   context());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = decodeLossless(bytes);
    checkTime(text);

    // One time per line; the literal order takes n * n steps, so a few
    // hundred rows are plenty.
    std::vector<std::optional<int>> times;
    for (const QStringView line : QStringView(text).tokenize(u'\n')) {
        if (times.size() == 300)
            break;
        times.push_back(checkTime(line));
    }
    const int selected = size ? int(data[0] % (times.size() + 1)) - 1 : -1;
    checkOrder(times, selected);
    return 0;
}
