#include "StableSort.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

class TestStableSort : public QObject {
    Q_OBJECT
private slots:
    void sortsAndKeepsEqualItemsInInputOrder();
    void toleranceComparatorStaysInRange();
    void randomComparatorNeverLosesItems();
    void emptyAndSingle();
};

struct Item {
    double key;
    int order;
};

void TestStableSort::sortsAndKeepsEqualItemsInInputOrder()
{
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

// "Same row when the tops differ by less than 3": intransitive equality.
void TestStableSort::toleranceComparatorStaysInRange()
{
    std::vector<Item> items;
    for (int i = 0; i < 500; ++i)
        items.push_back({i * 1.0 + (i % 3) * 0.7, i});
    std::reverse(items.begin(), items.end());
    vorn::safeStableSort(items, [](const Item& a, const Item& b) {
        if (std::abs(a.key - b.key) < 3.0)
            return a.order < b.order;
        return a.key < b.key;
    });
    QCOMPARE(items.size(), size_t(500));
    std::vector<bool> seen(500, false);
    for (const Item& item : items)
        seen[size_t(item.order)] = true;
    QVERIFY(std::all_of(seen.begin(), seen.end(), [](bool s) { return s; }));
}

void TestStableSort::randomComparatorNeverLosesItems()
{
    QRandomGenerator random(42);
    std::vector<int> values(1000);
    for (int i = 0; i < 1000; ++i)
        values[size_t(i)] = i;
    vorn::safeStableSort(values, [&random](int, int) { return random.bounded(2) == 0; });
    std::vector<int> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(sorted[size_t(i)], i);
}

void TestStableSort::emptyAndSingle()
{
    std::vector<int> none;
    vorn::safeStableSort(none, std::less<int>());
    QVERIFY(none.empty());
    std::vector<int> one{5};
    vorn::safeStableSort(one, std::less<int>());
    QCOMPARE(one.front(), 5);
}

QTEST_GUILESS_MAIN(TestStableSort)
#include "tst_stablesort.moc"
