// The plan reader, read twice: every rule a plan's bytes give, written out in
// its plainest form, reads back as the same rule, deciding the same dates.

#include "FuzzCheck.h"
#include "schedule/DayPlan.h"

#include <cstddef>
#include <cstdint>

using namespace cantrel;

namespace {

const char* const kNames[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

QByteArray plainLine(const PlanRule& rule) {
    QByteArray selector;
    if (rule.kind == PlanRule::Kind::Weekdays) {
        for (int d = 0; d < 7; ++d)
            if ((rule.weekdays >> d) & 1)
                selector += (selector.isEmpty() ? "" : ",") + QByteArray(kNames[d]);
    } else {
        selector = rule.from.toString(Qt::ISODate).toUtf8();
        if (rule.kind == PlanRule::Kind::Dates)
            selector += ".." + rule.to.toString(Qt::ISODate).toUtf8();
    }
    return selector + ' ' + (rule.file.isEmpty() ? QByteArray("-") : rule.file.toUtf8()) + '\n';
}

QString shownRule(const PlanRule& rule) {
    return QStringLiteral("kind %1 days %2 %3..%4 file [%5] line %6")
        .arg(int(rule.kind))
        .arg(rule.weekdays)
        .arg(rule.from.toString(Qt::ISODate), rule.to.toString(Qt::ISODate), rule.file)
        .arg(rule.line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PlanReading reading = readDayPlan(bytes);
    if (reading.errorLine) {
        FUZZ_CHECK(*reading.errorLine >= 1 && *reading.errorLine <= bytes.count('\n') + 1,
                   QByteArray::number(*reading.errorLine));
        return 0;
    }
    for (const PlanRule& rule : reading.plan.rules) {
        FUZZ_CHECK(rule.kind != PlanRule::Kind::Weekdays || (rule.weekdays > 0 &&
                                                              rule.weekdays < 128),
                   shownRule(rule).toUtf8());
        const PlanReading again = readDayPlan(plainLine(rule));
        FUZZ_CHECK(!again.errorLine && again.plan.rules.size() == 1,
                   (shownRule(rule) + " written as " + QString::fromUtf8(plainLine(rule))).toUtf8());
        const PlanRule& back = again.plan.rules[0];
        FUZZ_CHECK(back.kind == rule.kind && back.weekdays == rule.weekdays &&
                       back.from == rule.from && back.to == rule.to && back.file == rule.file,
                   (shownRule(rule) + " read back as " + shownRule(back)).toUtf8());
    }
    return 0;
}
