#pragma once

#include <QString>

#include <optional>
#include <span>

// The aggregate functions the chart, summary and cross-tab views offer, one record each, read by
// the pickers, the statements, the headings and the totals alike.
namespace analysis::aggregates {

// A function's place in every picker bar's function list.
enum Function : int { fnCount = 0, fnPercent = 1, fnSum = 2, fnAvg = 3, fnMin = 4, fnMax = 5 };

// How the figures of several groups make one total.
enum class Combine {
    Add,      // counts, shares and sums add up
    Least,    // a minimum of minimums
    Greatest, // a maximum of maximums
    Average,  // the groups' rows' sum over their count, never an average of averages
};

struct Aggregate {
    Function function;
    const char *sql;       // the SQL function, "COUNT"
    const char *entry;     // the picker's entry, "Avg. of --->>>"
    const char *alias;     // the result column's name and the chart's value axis, "Avg of "
    const char *caption;   // the summary's and the cross-tab's heading, "Avg. of "
    const char *format;    // the grids' display pattern; none: the value column's, by its type
    Combine combine;
    bool needsValueColumn; // its name then follows the alias and the caption
};

// Every function, in list order.
std::span<const Aggregate> all();
// The record of a function; nothing for a place no function has.
const Aggregate *find(int function);
// The record of a function; std::invalid_argument for a place no function has.
const Aggregate &aggregate(int function);

// "Count", "% Total", "Avg of Amount": the result column's name.
QString alias(int function, const QString &valueColumn);
// "Count", "% of Total", "Avg. of Amount": the heading the grids show.
QString caption(int function, const QString &valueColumn);

// The grids' display pattern of the function's figures over a value column of the given ADO type.
QString format(int function, int valueType);

// The figure of the groups so far joined with the next group's. NaN ranks above every number, as
// PostgreSQL orders it: the greatest wherever it occurs, the least only when nothing else is there.
// An average's joined figure is unused: its total comes from the rows' sum and count.
std::optional<double> combine(int function, const std::optional<double> &sofar, double next);
// The total of groups: their joined figure, or for an average their rows' sum over their count.
std::optional<double> total(int function, const std::optional<double> &joined, double sum, double count);

} // namespace analysis::aggregates
