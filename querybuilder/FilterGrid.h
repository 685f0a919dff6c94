#pragma once

// The fixed parts of the filter grid and the rules its values follow.

#include <QString>
#include <QStringList>
#include <QValidator>

#include <optional>

namespace querybuilder {

inline const QString kOpeningList = QStringLiteral(" |(|((|(((|((((|(((((|((((((|(((((((");
inline const QString kClosingList = QStringLiteral(" |)|))|)))|))))|)))))|))))))|)))))))");
inline const QString kIsList = QStringLiteral("is|is not");
inline const QString kComparisonList =
    QStringLiteral("null|equal to|greater than|less than|Containing|Begining with|Sounding like");
inline const QString kOperatorList = QStringLiteral("AND|OR");

inline const QString kIs = QStringLiteral("is");
inline const QString kNull = QStringLiteral("null");
inline const QString kEqualTo = QStringLiteral("equal to");
inline const QString kTrue = QStringLiteral("True");
inline const QString kFalse = QStringLiteral("False");

// Column 9 and the Boolean values read as the system reads a Boolean: "True"/"False" in any
// letter case, or a number (0 false). Empty when the text is neither.
std::optional<bool> readBoolean(const QString &text);

// True when `text` is one entry of a fixed combo list.
bool inList(const QString &list, const QString &text);

// A number as typed in a value cell: an optional leading minus, digits, and at most one decimal
// mark (the point or the locale's own). Intermediate while no digit has been typed yet.
class NumberValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
    static bool isNumber(const QString &text);
};

} // namespace querybuilder
