#pragma once
// The in-place sort the file-name convention uses to order its corner values.

#include <span>

namespace kartivo {

// Sorts values in place, ascending, by full bubble-sort passes: equal values are never
// exchanged (the sort is stable) and there is no early stop. NaN compares as neither greater
// nor less, so it is never moved by a comparison with it.
void BubbleSort(std::span<double> values);

}  // namespace kartivo
