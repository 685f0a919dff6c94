#include "PostgresScript.h"

#include "SampleData.h"

#include <charconv>
#include <system_error>

namespace sample {

namespace {

constexpr auto pg = Dialect::PostgreSQL;

class CopySink final : public RowSink {
public:
    explicit CopySink(std::string &out) : m_out(out) {}

    void beginTable(const TableDef &table) override
    {
        m_table = &table;
        m_maxKey = 0;
        m_out += createTableSql(pg, table) + ";\n\nCOPY " + qualifiedName(pg, table) + " (";
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            m_out += (i ? ", " : "") + identifier(pg, table.columns[i].name);
        m_out += ") FROM stdin;\n";
    }

    void addRow(std::span<const Value> row) override
    {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i)
                m_out += '\t';
            m_out += copyField(row[i]);
        }
        m_out += '\n';
        if (const auto *key = std::get_if<std::int64_t>(&row[0]); key && *key > m_maxKey)
            m_maxKey = *key;
    }

    void endTable() override
    {
        m_out += "\\.\n\n";
        // Keys were loaded as given; new rows continue after them.
        const ColumnDef &first = m_table->columns.front();
        if (first.primaryKey && !m_table->hasCompositeKey() && m_table->schema.empty()) {
            m_out += "ALTER TABLE " + qualifiedName(pg, *m_table) + " ALTER COLUMN " + identifier(pg, first.name)
                + " RESTART WITH " + std::to_string(m_maxKey + 1) + ";\n\n";
        }
    }

private:
    std::string &m_out;
    const TableDef *m_table = nullptr;
    std::int64_t m_maxKey = 0;
};

constexpr const char *header = R"(-- Tabulon Traders, the sample trading company, for PostgreSQL. Written by tabulon-sample.
-- Load it with: psql -v ON_ERROR_STOP=1 --single-transaction -f <this file>
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SET client_min_messages = warning;

DROP FUNCTION IF EXISTS customer_orders(integer);
DROP FUNCTION IF EXISTS order_total(integer);
DROP FUNCTION IF EXISTS top_products(integer);
DROP VIEW IF EXISTS "Customer Orders", "Sales by Category", "Product List";
DROP TABLE IF EXISTS "Order Details", orders, products, customers, employees, shippers, suppliers, categories, regions;
DROP TABLE IF EXISTS archive.orders;

)";

// SET search_path FROM CURRENT: a caller's own search path must not make the routines read a
// same-named table elsewhere, such as archive.orders.
constexpr const char *routines = R"(CREATE FUNCTION customer_orders(p_customer_id integer)
RETURNS TABLE (orderid integer, orderdate date, shippeddate date, linecount bigint, total numeric)
LANGUAGE sql STABLE
SET search_path FROM CURRENT
AS $$
    SELECT o.orderid, o.orderdate, o.shippeddate, count(*),
           round(sum(d.unitprice * d.quantity * (1 - CAST(d.discount AS numeric))), 2)
    FROM orders AS o
    JOIN "Order Details" AS d ON d.orderid = o.orderid
    WHERE o.customerid = p_customer_id
    GROUP BY o.orderid, o.orderdate, o.shippeddate
    ORDER BY o.orderdate, o.orderid
$$;
COMMENT ON FUNCTION customer_orders(integer) IS 'The orders of one customer with their line count and total';

CREATE FUNCTION order_total(p_order_id integer, OUT total numeric)
LANGUAGE sql STABLE
SET search_path FROM CURRENT
AS $$
    SELECT round(sum(d.unitprice * d.quantity * (1 - CAST(d.discount AS numeric))), 2)
    FROM "Order Details" AS d
    WHERE d.orderid = p_order_id
$$;
COMMENT ON FUNCTION order_total(integer) IS 'Total of one order after discounts, without freight; Null for an unknown order';

CREATE FUNCTION top_products(p_limit integer DEFAULT 10)
RETURNS TABLE (productid integer, productname varchar(60), categoryname varchar(30), units bigint, revenue numeric)
LANGUAGE sql STABLE
SET search_path FROM CURRENT
AS $$
    SELECT p.productid, p.productname, c.categoryname, sum(d.quantity),
           round(sum(d.unitprice * d.quantity * (1 - CAST(d.discount AS numeric))), 2)
    FROM "Order Details" AS d
    JOIN products AS p ON p.productid = d.productid
    JOIN categories AS c ON c.categoryid = p.categoryid
    GROUP BY p.productid, p.productname, c.categoryname
    ORDER BY 5 DESC, p.productid
    LIMIT p_limit
$$;
COMMENT ON FUNCTION top_products(integer) IS 'The best-selling products by revenue';
)";

} // namespace

std::string copyField(const Value &value)
{
    if (std::holds_alternative<Null>(value))
        return "\\N";
    if (const auto *n = std::get_if<std::int64_t>(&value))
        return std::to_string(*n);
    if (const auto *d = std::get_if<double>(&value)) {
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, *d); // shortest text that reads back exactly
        return std::string(text, result.ptr);
    }
    if (const auto *m = std::get_if<Decimal2>(&value))
        return decimalText(*m);
    if (const auto *b = std::get_if<bool>(&value))
        return *b ? "t" : "f";
    if (const auto *blob = std::get_if<Blob>(&value)) {
        static constexpr char hex[] = "0123456789abcdef";
        std::string text = "\\\\x";
        for (std::uint8_t byte : *blob) {
            text += hex[byte >> 4];
            text += hex[byte & 0x0F];
        }
        return text;
    }
    std::string text;
    for (char c : std::get<std::string>(value)) {
        switch (c) {
        case '\\': text += "\\\\"; break;
        case '\n': text += "\\n"; break;
        case '\r': text += "\\r"; break;
        case '\t': text += "\\t"; break;
        default: text += c;
        }
    }
    return text;
}

std::string postgresScript()
{
    std::string out;
    out.reserve(12 << 20);
    out += header;
    {
        CopySink sink(out);
        generateSampleData(sink);
        for (const IndexDef &index : sampleIndexes())
            out += createIndexSql(pg, index) + ";\n";
        out += '\n';
        for (const ViewDef &view : sampleViews())
            out += createViewSql(pg, view) + ";\n\n";

        // A table of the same name in a second schema, for tools that must tell them apart.
        out += "CREATE SCHEMA IF NOT EXISTS archive;\n\n";
        generateArchiveOrders(sink);
        out += "COMMENT ON TABLE archive.orders IS 'Orders of 2018, moved out of the current order table';\n\n";
    }
    out += routines;
    return out;
}

} // namespace sample
