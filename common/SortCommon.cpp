#include "common/SortCommon.h"

#include <utility>

namespace kartivo {

void BubbleSort(std::span<double> values, bool ascending) {
    // Pass i bubbles the largest (or smallest) of values[0..i] up to position i.
    for (std::size_t i = values.size(); i-- > 0;) {
        for (std::size_t j = 1; j <= i; ++j) {
            const bool outOfOrder = ascending ? values[j - 1] > values[j] : values[j - 1] < values[j];
            if (outOfOrder) std::swap(values[j - 1], values[j]);
        }
    }
}

}  // namespace kartivo
