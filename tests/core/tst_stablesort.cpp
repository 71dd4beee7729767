#include "StableSort.h"

#include <QRandomGenerator>
#include <QTest>

#include <numeric>
#include <vector>

class TestStableSort : public QObject {
    Q_OBJECT
private slots:
    void sortsAndKeepsEqualItemsInInputOrder();
    void badComparatorsNeverLoseItems();
};

struct Item {
    double key;
    int order;
};

void TestStableSort::sortsAndKeepsEqualItemsInInputOrder()
{
    std::vector<int> none;
    vorn::safeStableSort(none, std::less<int>());
    QVERIFY(none.empty());
    std::vector<Item> items;
    for (int i = 0; i < 200; ++i)
        items.push_back({double((i * 7919) % 13), i});
    vorn::safeStableSort(items, [](const Item& a, const Item& b) { return a.key < b.key; });
    for (size_t i = 1; i < items.size(); ++i) {
        QVERIFY(items[i - 1].key <= items[i].key);
        if (items[i - 1].key == items[i].key)
            QVERIFY(items[i - 1].order < items[i].order);
    }
}

// An intransitive tolerance ("same row when the tops differ by less than 3")
// and a random answer: every item is still there exactly once.
void TestStableSort::badComparatorsNeverLoseItems()
{
    std::vector<Item> items;
    for (int i = 499; i >= 0; --i)
        items.push_back({i * 1.0 + (i % 3) * 0.7, i});
    vorn::safeStableSort(items, [](const Item& a, const Item& b) {
        if (std::abs(a.key - b.key) < 3.0)
            return a.order < b.order;
        return a.key < b.key;
    });
    std::vector<int> orders;
    for (const Item& item : items)
        orders.push_back(item.order);
    std::sort(orders.begin(), orders.end());
    std::vector<int> expected(500);
    std::iota(expected.begin(), expected.end(), 0);
    QVERIFY(orders == expected);

    QRandomGenerator random(42);
    std::vector<int> values(1000);
    std::iota(values.begin(), values.end(), 0);
    vorn::safeStableSort(values, [&random](int, int) { return random.bounded(2) == 0; });
    std::sort(values.begin(), values.end());
    expected.resize(1000);
    std::iota(expected.begin(), expected.end(), 0);
    QVERIFY(values == expected);
}

QTEST_GUILESS_MAIN(TestStableSort)
#include "tst_stablesort.moc"
