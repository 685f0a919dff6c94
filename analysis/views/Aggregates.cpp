#include "views/Aggregates.h"

#include "grid/GridFormat.h"

#include <QLatin1String>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace analysis::aggregates {

namespace {

// The views spell some names apart on purpose: the statement's column and the chart's axis
// "Avg of", the grids' heading "Avg. of".
constexpr std::array<Aggregate, 6> kAll{{
    {fnCount, "COUNT", "<Count>", "Count", "Count", "#,###", Combine::Add, false},
    {fnPercent, "COUNT", "<% of Total>", "% Total", "% of Total", "#,##0.00", Combine::Add, false},
    {fnSum, "SUM", "Sum of --->>>", "Sum of ", "Sum of ", nullptr, Combine::Add, true},
    {fnAvg, "AVG", "Avg. of --->>>", "Avg of ", "Avg. of ", nullptr, Combine::Average, true},
    {fnMin, "MIN", "Min. of --->>>", "Min of ", "Min. of ", nullptr, Combine::Least, true},
    {fnMax, "MAX", "Max. of --->>>", "Max of ", "Max. of ", nullptr, Combine::Greatest, true},
}};

QString named(const char *start, const Aggregate &a, const QString &valueColumn)
{
    QString text = QLatin1String(start);
    if (a.needsValueColumn)
        text += valueColumn;
    return text;
}

} // namespace

std::span<const Aggregate> all()
{
    return kAll;
}

const Aggregate *find(int function)
{
    return function >= 0 && std::size_t(function) < kAll.size() ? &kAll[std::size_t(function)] : nullptr;
}

const Aggregate &aggregate(int function)
{
    if (const Aggregate *a = find(function))
        return *a;
    throw std::invalid_argument("There is no summary function number " + std::to_string(function) + ".");
}

QString alias(int function, const QString &valueColumn)
{
    const Aggregate &a = aggregate(function);
    return named(a.alias, a, valueColumn);
}

QString caption(int function, const QString &valueColumn)
{
    const Aggregate &a = aggregate(function);
    return named(a.caption, a, valueColumn);
}

QString format(int function, int valueType)
{
    const Aggregate &a = aggregate(function);
    return a.format ? QString::fromLatin1(a.format) : grid::format::typeFormat(valueType);
}

std::optional<double> combine(int function, const std::optional<double> &sofar, double next)
{
    const Combine how = aggregate(function).combine;
    if (!sofar)
        return next;
    const double v = *sofar;
    switch (how) {
    case Combine::Least: return std::isnan(v) ? next : std::isnan(next) ? v : std::min(v, next);
    case Combine::Greatest:
        return std::isnan(v) || std::isnan(next) ? std::numeric_limits<double>::quiet_NaN() : std::max(v, next);
    case Combine::Add:
    case Combine::Average: break;
    }
    return v + next;
}

std::optional<double> total(int function, const std::optional<double> &joined, double sum, double count)
{
    if (aggregate(function).combine == Combine::Average)
        return count > 0 ? std::optional<double>(sum / count) : std::nullopt;
    return joined;
}

} // namespace analysis::aggregates
