#pragma once

#include <tabulon/DbExport.h>

#include "db/RowStore.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace db {

// Row conditions evaluated in memory; never code. Built from the filter syntax
//   Field op value [AND|OR Field op value ...], with parentheses,
//   op one of = <> < > <= >= LIKE (wildcards * or % for any run, _ for one character), IS NULL,
//   IS NOT NULL, BEGINS WITH (the text starts with the value), SOUNDS LIKE (the text's SoundEx
//   code is the value), LIKE, BEGINS WITH and SOUNDS LIKE each also with NOT before them,
//   values 'text' (apostrophes doubled), #date#, numbers, NULL; field names bare or quoted with
//   " ` or [ ] (a closer inside doubled); at most kMaxNesting brackets or NOTs deep
// or built from structured conditions handed over by the query builder.
class DB_EXPORT RecordsetFilter {
public:
    struct Condition {
        QString field;
        QString op;          // "=", "<>", "<", ">", "<=", ">=", "LIKE", "NOT LIKE", "IS NULL", "IS NOT NULL",
                             // "BEGINS WITH", "NOT BEGINS WITH", "SOUNDS LIKE", "NOT SOUNDS LIKE"
        QVariant value;      // invalid for the IS forms
        // LIKE as SQL reads it: only % and _ are wildcards (a * is itself).
        bool sqlPattern = false;
    };
    // A node: either one condition or a group of children joined by AND / OR.
    struct Node {
        bool isGroup = false;
        Condition condition;
        std::vector<Node> children;
        std::vector<bool> joinedByOr; // joinedByOr[i]: children[i+1] joined to the rest by OR
        bool negated = false;
    };

    static constexpr int kMaxNesting = 200;

    RecordsetFilter() = default;
    explicit RecordsetFilter(Node root) : m_root(std::move(root)) {}
    // Throws DbError naming the position and what was expected.
    static RecordsetFilter parse(const QString &criteria);
    const Node &root() const { return m_root; }
    bool isEmpty() const;

    // Resolves field names against the store's fields (case-insensitive); throws DbError for an
    // unknown field. Must be called before matches(). Text compares and LIKE matches with or
    // without regard to case, as the database the rows came from does.
    void bind(const RowStore &store, bool caseSensitive = false);
    bool matches(const RowStore &store, std::size_t row) const;

    QString toString() const;

    // A cell's value written as this syntax reads it back: 'text', numbers in full, #date# with
    // every digit and offset, TRUE/FALSE, NULL. Throws DbError for binary values.
    static QString literal(const RowStore &store, std::size_t row, int col);

private:
    Node m_root;
    std::vector<int> m_columns; // bound column per condition, in depth-first order
    struct Compiled;            // conditions resolved and converted by bind()
    std::shared_ptr<const Compiled> m_compiled;
};

} // namespace db
