#pragma once

#include "SampleSchema.h"

#include <cstdint>
#include <span>

namespace sample {

// Row counts the generator produces, table by table.
namespace counts {
inline constexpr int regions = 7;
inline constexpr int categories = 10;
inline constexpr int suppliers = 30;
inline constexpr int shippers = 4;
inline constexpr int employees = 15;
inline constexpr int customers = 2000;
inline constexpr int products = 300;
inline constexpr int orders = 30000;
inline constexpr int orderDetails = 100000;
inline constexpr int archivedOrders = 40;
} // namespace counts

// Receives the generated rows; the values of a row follow the table's columns.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void beginTable(const TableDef &table) = 0;
    virtual void addRow(std::span<const Value> row) = 0;
    virtual void endTable() = 0;
};

// Every table of sampleTables(), in that order. The same rows on every run and every machine:
// a fixed-seed generator and integer arithmetic only.
void generateSampleData(RowSink &sink);

// The rows of archiveOrdersTable(): a few orders from before the main data begins.
void generateArchiveOrders(RowSink &sink);

// The deterministic generator behind the data (splitmix64).
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    // Uniform in [0, bound); bound > 0.
    std::uint32_t below(std::uint32_t bound);
    int between(int low, int high); // inclusive
    bool percent(int chance);

private:
    std::uint64_t m_state;
};

} // namespace sample
