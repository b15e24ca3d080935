#include "schedule/TimeOrder.h"

#include <QRandomGenerator>
#include <QTest>

#include <numeric>

using namespace cantrel;

using Times = std::vector<std::optional<int>>;
using Order = std::vector<int>;

namespace {

using OrderFunction = TimeOrderResult (*)(const Times&, int);

const struct {
    const char* name;
    OrderFunction order;
} orderFunctions[] = {{"tree", orderByTime}, {"literal", orderByTimeLiteral}};

constexpr int h(int hours, int minutes = 0) {
    return hours * 3600 + minutes * 60;
}

} // namespace

class TestTimeOrder : public QObject {
    Q_OBJECT

  private slots:
    void orders_data();
    void orders();
    void badTimeChangesNothing_data();
    void badTimeChangesNothing();
    void treeMatchesLiteralOnRandomSchedules();
};

void TestTimeOrder::orders_data() {
    QTest::addColumn<Times>("times");
    QTest::addColumn<int>("selected");
    QTest::addColumn<Order>("order");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("empty") << Times{} << -1 << Order{} << -1;
    QTest::newRow("equal times not stable: A, B at 10:00, C at 9:00")
        << Times{h(10), h(10), h(9)} << -1 << Order{2, 1, 0} << -1;
    QTest::newRow("all equal stay") << Times{5, 5, 5} << 1 << Order{0, 1, 2} << 1;
    QTest::newRow("sorted stays") << Times{h(1), h(2), h(3)} << 2 << Order{0, 1, 2} << 2;
    QTest::newRow("reversed") << Times{3, 2, 1} << 0 << Order{2, 1, 0} << 2;
    QTest::newRow("appended earliest row, selected")
        << Times{h(1), h(2), h(3), h(0)} << 3 << Order{3, 0, 1, 2} << 0;
    QTest::newRow("selection followed through two exchanges")
        << Times{3, 1, 2} << 0 << Order{1, 2, 0} << 2;
    QTest::newRow("uninvolved selection stays") << Times{2, 1, 5} << 2 << Order{1, 0, 2} << 2;
    QTest::newRow("exchange brings the selected row up")
        << Times{2, 1, 5} << 1 << Order{1, 0, 2} << 0;
    QTest::newRow("modified row moved down")
        << Times{h(23), h(8), h(9), h(9, 30)} << 0 << Order{1, 2, 3, 0} << 3;
}

void TestTimeOrder::orders() {
    QFETCH(Times, times);
    QFETCH(int, selected);
    QFETCH(Order, order);
    QFETCH(int, selectedAfter);
    for (const auto& function : orderFunctions) {
        const TimeOrderResult result = function.order(times, selected);
        QVERIFY2(result.order == order, function.name);
        QVERIFY2(result.selected == selectedAfter, function.name);
        QVERIFY2(!result.badRow, function.name);
    }
}

void TestTimeOrder::badTimeChangesNothing_data() {
    QTest::addColumn<Times>("times");
    QTest::addColumn<int>("badRow");
    QTest::newRow("single bad row") << Times{std::nullopt} << 0;
    QTest::newRow("first bad in row order") << Times{h(9), std::nullopt, h(8), std::nullopt} << 1;
    QTest::newRow("bad last row, earlier rows unsorted") << Times{3, 2, 1, std::nullopt} << 3;
    QTest::newRow("bad first row") << Times{std::nullopt, 1} << 0;
}

void TestTimeOrder::badTimeChangesNothing() {
    QFETCH(Times, times);
    QFETCH(int, badRow);
    Order identity(times.size());
    std::iota(identity.begin(), identity.end(), 0);
    for (const auto& function : orderFunctions) {
        const TimeOrderResult result = function.order(times, 0);
        QVERIFY2(result.badRow == badRow, function.name);
        QVERIFY2(result.order == identity, function.name);
        QVERIFY2(result.selected == 0, function.name);
    }
}

void TestTimeOrder::treeMatchesLiteralOnRandomSchedules() {
    QRandomGenerator random(2024);
    for (int round = 0; round < 3000; ++round) {
        const int size = random.bounded(301);
        // Few distinct times, so that equal times are everywhere.
        const int distinct = 1 + random.bounded(size / 4 + 2);
        const bool withBad = random.bounded(8) == 0;
        Times times(size);
        for (auto& time : times) {
            if (withBad && random.bounded(50) == 0)
                time = std::nullopt;
            else
                time = random.bounded(distinct) * 60;
        }
        const int selected = size == 0 ? -1 : random.bounded(-1, size);

        const TimeOrderResult tree = orderByTime(times, selected);
        const TimeOrderResult literal = orderByTimeLiteral(times, selected);
        QVERIFY2(tree.order == literal.order, qPrintable(QString("round %1").arg(round)));
        QCOMPARE(tree.selected, literal.selected);
        QCOMPARE(tree.badRow, literal.badRow);
    }
}

QTEST_GUILESS_MAIN(TestTimeOrder)
#include "test_time_order.moc"
