#include "common/SortCommon.h"

#include <utility>

namespace kartivo {

void BubbleSort(std::span<double> values) {
    // Pass i bubbles the largest of values[0..i] up to position i.
    for (std::size_t i = values.size(); i-- > 0;) {
        for (std::size_t j = 1; j <= i; ++j) {
            if (values[j - 1] > values[j]) std::swap(values[j - 1], values[j]);
        }
    }
}

}  // namespace kartivo
