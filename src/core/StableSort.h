#pragma once
// Sorting with comparators that use tolerances ("same line when the tops differ
// by less than 3 points"). Such comparators are not strict weak orders, and
// std::sort (and the unguarded insertion inside std::stable_sort) may then read
// outside the range. This merge sort only compares elements at indices it
// checked against the range bounds, so an inconsistent comparator can give a
// surprising order but never undefined behaviour.

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace vorn {

// Stable: elements the comparator does not separate keep their input order.
template <typename RandomIt, typename Less>
void safeStableSort(RandomIt first, RandomIt last, Less less)
{
    using Value = typename std::iterator_traits<RandomIt>::value_type;
    // The iterator's own index type: QList's iterators index by qsizetype,
    // and a std::ptrdiff_t index is ambiguous there.
    using Index = typename std::iterator_traits<RandomIt>::difference_type;
    const Index count = std::distance(first, last);
    if (count < 2)
        return;
    std::vector<Value> buffer;
    buffer.reserve(size_t(count));
    for (Index width = 1; width < count; width *= 2) {
        for (Index left = 0; left < count - width; left += 2 * width) {
            const Index mid = left + width;
            const Index right = std::min(left + 2 * width, count);
            buffer.clear();
            Index a = left;
            Index b = mid;
            while (a < mid && b < right) {
                // Take from the right run only when it is strictly less: stability.
                if (less(first[b], first[a]))
                    buffer.push_back(std::move(first[b++]));
                else
                    buffer.push_back(std::move(first[a++]));
            }
            while (a < mid)
                buffer.push_back(std::move(first[a++]));
            while (b < right)
                buffer.push_back(std::move(first[b++]));
            std::move(buffer.begin(), buffer.end(), first + left);
        }
    }
}

template <typename Container, typename Less>
void safeStableSort(Container& items, Less less)
{
    safeStableSort(std::begin(items), std::end(items), less);
}

} // namespace vorn
