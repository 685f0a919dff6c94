#pragma once

#include "db/RowStore.h"

#include <cstdint>
#include <vector>

namespace db {

// One column of a sort order.
struct RowSortKey {
    int col = 0;
    bool descending = false;
};

// Orders the given store rows by the keys, stably (rows that compare equal keep their order), in
// O(n log n): Nulls before any value, numbers by value, exact decimals by value, text without
// regard to case (case-folded, by code point), binary by its bytes. Each row's key is built once,
// not at every comparison.
void sortRows(const RowStore &store, const std::vector<RowSortKey> &keys,
                              std::vector<std::uint32_t> &rows);

} // namespace db
