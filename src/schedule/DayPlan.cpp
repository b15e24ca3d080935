#include "schedule/DayPlan.h"

#include "platform/LosslessText.h"
#include "platform/ProgramError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace cantrel {

namespace {

const QStringList kWeekdayNames{QStringLiteral("mon"), QStringLiteral("tue"),
                                QStringLiteral("wed"), QStringLiteral("thu"),
                                QStringLiteral("fri"), QStringLiteral("sat"),
                                QStringLiteral("sun")};

const QString kExpected = QStringLiteral(
    "expected a day (mon ... sun, a list or range of them such as mon-fri or sat,sun, a date "
    "YYYY-MM-DD or dates YYYY-MM-DD..YYYY-MM-DD), then a day schedule file or -");

// Qt's day of the week (1..7) of a name, or 0.
int weekdayOf(const QString& name) {
    return int(kWeekdayNames.indexOf(name.toLower())) + 1;
}

std::optional<QDate> dateOf(const QString& text) {
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

// "mon-fri", "sat,sun", "mon,wed-fri": the weekday bits, or 0.
int weekdaysOf(const QString& selector) {
    int bits = 0;
    for (const QString& part : selector.split(u',')) {
        const QStringList ends = part.split(u'-');
        if (ends.size() > 2)
            return 0;
        const int first = weekdayOf(ends.first());
        const int last = weekdayOf(ends.last());
        if (first == 0 || last == 0)
            return 0;
        // A range may wrap over the week's end: fri-mon.
        for (int d = first;; d = d % 7 + 1) {
            bits |= 1 << (d - 1);
            if (d == last)
                break;
        }
    }
    return bits;
}

std::optional<PlanRule> ruleOf(const QString& selector) {
    PlanRule rule;
    if (const int bits = weekdaysOf(selector)) {
        rule.weekdays = bits;
        return rule;
    }
    if (const std::optional<QDate> date = dateOf(selector)) {
        rule.kind = PlanRule::Kind::Date;
        rule.from = rule.to = *date;
        return rule;
    }
    const QStringList ends = selector.split(QStringLiteral(".."));
    if (ends.size() == 2) {
        const std::optional<QDate> from = dateOf(ends[0]);
        const std::optional<QDate> to = dateOf(ends[1]);
        if (from && to && *from <= *to) {
            rule.kind = PlanRule::Kind::Dates;
            rule.from = *from;
            rule.to = *to;
            return rule;
        }
    }
    return std::nullopt;
}

} // namespace

bool PlanRule::covers(QDate date) const {
    if (kind == Kind::Weekdays)
        return (weekdays >> (date.dayOfWeek() - 1)) & 1;
    return from <= date && date <= to;
}

const PlanRule* DayPlan::ruleFor(QDate date) const {
    const PlanRule* best = nullptr;
    for (const PlanRule& rule : rules)
        if (rule.covers(date) && (!best || rule.kind >= best->kind))
            best = &rule;
    return best;
}

PlanReading readDayPlan(const QByteArray& bytes) {
    PlanReading reading;
    const QStringList lines = decodeLossless(bytes).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString text = lines[i];
        if (const qsizetype hash = text.indexOf(u'#'); hash >= 0)
            text.truncate(hash);
        text = text.trimmed();
        if (text.isEmpty())
            continue;
        const qsizetype gap = text.indexOf(QRegularExpression(QStringLiteral("\\s")));
        std::optional<PlanRule> rule = gap > 0 ? ruleOf(text.left(gap)) : std::nullopt;
        if (!rule) {
            reading.errorLine = int(i) + 1;
            reading.expected = kExpected;
            return reading;
        }
        const QString file = text.mid(gap).trimmed();
        rule->file = file == QLatin1String("-") ? QString() : file;
        rule->line = int(i) + 1;
        rule->text = lines[i].simplified();
        reading.plan.rules.append(*rule);
    }
    return reading;
}

QString planFileFor(const QString& calendarName) {
    const QFileInfo calendar(calendarName);
    return QDir(calendar.path()).filePath(calendar.completeBaseName() + QStringLiteral(".plan"));
}

DayChoice chooseDayFile(const QString& calendarEntry, const DayPlan* plan,
                        const QString& planFolder, QDate date) {
    if (!calendarEntry.isEmpty())
        return {DayChoice::Source::Calendar, calendarEntry, 0};
    const PlanRule* rule = plan ? plan->ruleFor(date) : nullptr;
    if (!rule)
        return {};
    if (rule->file.isEmpty())
        return {DayChoice::Source::Nothing, QString(), rule->line};
    return {DayChoice::Source::Plan, QDir(planFolder).filePath(rule->file), rule->line};
}

std::optional<DayPlan> readPlanFile(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    const QString text = QStringLiteral("Can't read the plan");
    if (!file.open(QIODevice::ReadOnly))
        throw ProgramError(text, QStringLiteral("%1: %2").arg(path, file.errorString()));
    PlanReading reading = readDayPlan(file.readAll());
    if (reading.errorLine)
        throw ProgramError(text, QStringLiteral("%1, line %2: %3")
                                     .arg(path)
                                     .arg(*reading.errorLine)
                                     .arg(reading.expected));
    return std::move(reading.plan);
}

} // namespace cantrel
