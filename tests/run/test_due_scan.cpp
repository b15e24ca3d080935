// The due scan and the shifted clock, without a window: the rule itself, and
// the index that must give the rule's answer whatever the grid went through.
#include "run/DueScan.h"
#include "run/ShiftedClock.h"
#include "schedule/StringGridModel.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <numeric>
#include <set>

using namespace cantrel;

namespace {

struct ListRows {
    QStringList times;
    QStringList marks;
    int rowCount() const { return int(times.size()) + 1; }
    const QString& time(int r) const { return times[r - 1]; }
    const QString& mark(int r) const { return marks[r - 1]; }
};

struct ModelRows {
    const StringGridModel& cells;
    int rowCount() const { return cells.gridRowCount(); }
    const QString& time(int r) const { return cells.cell(1, r); }
    const QString& mark(int r) const { return cells.cell(0, r); }
};

QString describe(const DueScan& scan) {
    QStringList due;
    for (int r : scan.due)
        due << QString::number(r);
    return QStringLiteral("due [%1] bad %2")
        .arg(due.join(u' '), scan.badRow ? QString::number(*scan.badRow) : QStringLiteral("-"));
}

} // namespace

class TestDueScan : public QObject {
    Q_OBJECT
  private slots:
    void rule_data();
    void rule();
    void indexAgreesWithTheRuleThroughRandomEdits_data();
    void indexAgreesWithTheRuleThroughRandomEdits();
    void shiftedClock_data();
    void shiftedClock();
};

void TestDueScan::rule_data() {
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<QList<int>>("taken");
    QTest::addColumn<QList<int>>("due");
    QTest::addColumn<int>("badRow");

    // The second asked for is always 12:00:00.
    QTest::newRow("equal to the second") << QStringList{"11:59:59", "12:00:00", "12:00:01"}
                                         << QStringList(3) << QList<int>{} << QList<int>{2} << -1;
    QTest::newRow("same second, row order")
        << QStringList{"12:00:00", "9:00", "12:00:00", "12:00:00"} << QStringList(4) << QList<int>{}
        << QList<int>{1, 3, 4} << -1;
    QTest::newRow("hours and minutes, blanks, one digit")
        << QStringList{"12:00", " 12:0:0\t", "12:00:00:00"} << QStringList(3) << QList<int>{}
        << QList<int>{1, 2} << 3;
    QTest::newRow("any mark keeps a row back")
        << QStringList{"12:00:00", "12:00:00", "12:00:00", "12:00:00"}
        << QStringList{">", "+", "!", ""} << QList<int>{} << QList<int>{4} << -1;
    QTest::newRow("taken rows are not due") << QStringList{"12:00:00", "12:00:00"} << QStringList(2)
                                            << QList<int>{1} << QList<int>{2} << -1;
    QTest::newRow("stops at the first unreadable time")
        << QStringList{"12:00:00", "noon", "12:00:00", ""} << QStringList(4) << QList<int>{}
        << QList<int>{1} << 2;
    QTest::newRow("empty time cell is unreadable")
        << QStringList{"", "12:00:00"} << QStringList(2) << QList<int>{} << QList<int>{} << 1;
    QTest::newRow("out of range is unreadable")
        << QStringList{"08:00:00", "24:00:00", "12:00:00"} << QStringList(3) << QList<int>{}
        << QList<int>{} << 2;
}

void TestDueScan::rule() {
    QFETCH(QStringList, times);
    QFETCH(QStringList, marks);
    QFETCH(QList<int>, taken);
    QFETCH(QList<int>, due);
    QFETCH(int, badRow);
    const ListRows rows{times, marks};
    const auto isTaken = [&](int r) { return taken.contains(r); };
    const DueScan expected{std::vector<int>(due.begin(), due.end()),
                           badRow < 0 ? std::nullopt : std::optional<int>(badRow)};

    QCOMPARE(describe(literalDueScan(rows, 12 * 3600, isTaken)), describe(expected));
    DueIndex index;
    QCOMPARE(describe(index.scan(rows, 12 * 3600, isTaken, 0)), describe(expected));
}

void TestDueScan::indexAgreesWithTheRuleThroughRandomEdits_data() {
    QTest::addColumn<quint32>("stream");
    for (quint32 stream : {1u, 7u, 2024u, 90210u})
        QTest::newRow(qPrintable(QString::number(stream))) << stream;
}

// Every kind of change the day grid sees, in random order, with scans in
// between: the index must answer as the full parse does, every time.
void TestDueScan::indexAgreesWithTheRuleThroughRandomEdits() {
    QFETCH(quint32, stream);
    QRandomGenerator random(stream);
    StringGridModel model(5, 2, 1);
    DueIndex index;
    index.watch(&model, 1);
    const ModelRows rows{model};

    // A few seconds around noon, so rows collide; now and then a time that
    // does not read, so the scan's stop moves about.
    const QStringList goodTimes = {"12:00:00", "12:00:01", "12:00:02",
                                   "12:0:1",   "12:00",    " 12:00:02 "};
    const QStringList badTimes = {"", "25:00:00", "x"};
    const auto time = [&] {
        return random.bounded(100) < 4 ? badTimes[random.bounded(int(badTimes.size()))]
                                       : goodTimes[random.bounded(int(goodTimes.size()))];
    };
    const QStringList markTexts = {"", "", "", "+", ">", "!"};
    const auto mark = [&] { return markTexts[random.bounded(int(markTexts.size()))]; };
    const auto dayRow = [&] { return QStringList{mark(), time(), "1", "c", ""}; };
    const auto anyDataRow = [&] { return 1 + random.bounded(model.gridRowCount() - 1); };

    std::set<int> taken;
    const auto isTaken = [&](int r) { return taken.contains(r); };
    for (int step = 0; step < 4000; ++step) {
        const int rebuildsBefore = index.rebuilds();
        bool markOnly = false;
        const bool haveRows = model.gridRowCount() > 1;
        switch (random.bounded(10)) {
        case 0:
            if (haveRows)
                model.setCell(1, anyDataRow(), time());
            break;
        case 1:
        case 2:
            if (haveRows) {
                model.setCell(0, anyDataRow(), mark());
                markOnly = true;
            }
            break;
        case 3:
            if (haveRows)
                model.setRowCells(anyDataRow(), dayRow());
            break;
        case 4:
            if (model.gridRowCount() < 60)
                model.appendRow(dayRow());
            break;
        case 5:
            if (model.gridRowCount() > 2)
                model.removeGridRow(anyDataRow());
            break;
        case 6: {
            std::vector<int> order(size_t(model.gridRowCount() - 1));
            std::iota(order.begin(), order.end(), 0);
            std::shuffle(order.begin(), order.end(), random);
            model.permuteDataRows(order);
            break;
        }
        case 7: {
            QList<QStringList> fresh;
            for (int n = random.bounded(40); n > 0; --n)
                fresh.append(dayRow());
            model.replaceDataRows(fresh);
            break;
        }
        case 8:
            model.setGridRowCount(1 + random.bounded(50));
            break;
        case 9:
            // The cell editor's way in.
            if (haveRows)
                model.setData(model.index(anyDataRow() - 1, random.bounded(2)),
                              random.bounded(2) ? time() : mark(), Qt::EditRole);
            break;
        }
        taken.clear();
        for (int r = 1; r < model.gridRowCount(); ++r)
            if (random.bounded(5) == 0)
                taken.insert(r);

        for (int second : {43200, 43201, 43202, int(random.bounded(kSecondsPerDay))}) {
            const DueScan fast = index.scan(rows, second, isTaken, model.structureVersion());
            const DueScan literal = literalDueScan(rows, second, isTaken);
            if (fast != literal)
                QFAIL(qPrintable(QStringLiteral("step %1, second %2: index %3, rule %4")
                                     .arg(step)
                                     .arg(second)
                                     .arg(describe(fast), describe(literal))));
        }
        // A mark written by a report must not cost a full parse.
        if (markOnly && rebuildsBefore > 0)
            QCOMPARE(index.rebuilds(), rebuildsBefore);
    }
}

void TestDueScan::shiftedClock_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<qint64>("advance");
    QTest::addColumn<QDateTime>("shifted");

    const QDate day(2026, 12, 10);
    QTest::newRow("no advance") << QDateTime(day, QTime(12, 0, 0, 250)) << qint64(0)
                                << QDateTime(day, QTime(12, 0, 0, 250));
    QTest::newRow("minutes and seconds")
        << QDateTime(day, QTime(12, 0)) << qint64(754) << QDateTime(day, QTime(12, 12, 34));
    QTest::newRow("into the next day") << QDateTime(day, QTime(23, 59, 50, 490)) << qint64(30)
                                       << QDateTime(day.addDays(1), QTime(0, 0, 20, 490));
    QTest::newRow("into the next year") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59))
                                        << qint64(1) << QDateTime(QDate(2027, 1, 1), QTime(0, 0));
    QTest::newRow("largest") << QDateTime(day, QTime(12, 0)) << qint64(3599)
                             << QDateTime(day, QTime(12, 59, 59));
    QTest::newRow("negative counts as none")
        << QDateTime(day, QTime(12, 0)) << qint64(-5) << QDateTime(day, QTime(12, 0));
    QTest::newRow("beyond an hour counts as the largest")
        << QDateTime(day, QTime(12, 0)) << qint64(86400) << QDateTime(day, QTime(12, 59, 59));
}

void TestDueScan::shiftedClock() {
    QFETCH(QDateTime, now);
    QFETCH(qint64, advance);
    QFETCH(QDateTime, shifted);
    QCOMPARE(cantrel::shiftedClock(now, advance), shifted);
}

QTEST_APPLESS_MAIN(TestDueScan)
#include "test_due_scan.moc"
