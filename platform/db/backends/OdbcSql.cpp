#include "db/backends/OdbcSql.h"

#include <vector>

namespace db::odbc {

namespace {

struct Token {
    enum Kind { Word, Name, Literal, Punct } kind;
    QString text; // words upper-cased; punctuation the character itself
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') || c.unicode() > 127;
}

// Returns false for text the databases would not accept either (an unclosed quote or
// comment): such a statement is never described. With backslashEscapes, a backslash escapes
// the next character in every string, as MySQL reads them.
bool tokenize(const QString &s, std::vector<Token> &out, bool backslashEscapes)
{
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto closeQuoted = [&](QChar close, bool backslashEscapes) {
        for (++i; i < n; ++i) {
            if (backslashEscapes && s[i] == QLatin1Char('\\')) {
                ++i;
            } else if (s[i] == close) {
                if (i + 1 < n && s[i + 1] == close) {
                    ++i; // doubled: part of the text
                    continue;
                }
                ++i;
                return true;
            }
        }
        return false;
    };
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('-') && i + 1 < n && s[i + 1] == QLatin1Char('-')) {
            while (i < n && s[i] != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
            int depth = 0; // PostgreSQL nests block comments
            do {
                if (s[i] == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
                    ++depth;
                    i += 2;
                } else if (s[i] == QLatin1Char('*') && i + 1 < n && s[i + 1] == QLatin1Char('/')) {
                    --depth;
                    i += 2;
                } else {
                    ++i;
                }
            } while (depth > 0 && i < n);
            if (depth > 0)
                return false;
        } else if (c == QLatin1Char('\'')) {
            const bool prefixE = !out.empty() && out.back().kind == Token::Word
                && out.back().text == QLatin1String("E") && i > 0 && isWordChar(s[i - 1]);
            if (!closeQuoted(QLatin1Char('\''), backslashEscapes || prefixE))
                return false;
            if (prefixE)
                out.pop_back();
            out.push_back({Token::Literal, {}});
        } else if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const qsizetype start = i;
            if (!closeQuoted(close, false))
                return false;
            out.push_back({Token::Name, s.mid(start, i - start)});
        } else if (c == QLatin1Char('$') && (out.empty() || out.back().kind != Token::Word || !isWordChar(s[i - 1]))) {
            // $tag$ ... $tag$ (a bare $1 parameter is a word)
            qsizetype j = i + 1;
            while (j < n && (s[j].isLetterOrNumber() || s[j] == QLatin1Char('_')))
                ++j;
            if (j < n && s[j] == QLatin1Char('$') && !(j > i + 1 && s[i + 1].isDigit())) {
                const QString tag = s.mid(i, j - i + 1);
                const qsizetype end = s.indexOf(tag, j + 1);
                if (end < 0)
                    return false;
                i = end + tag.size();
                out.push_back({Token::Literal, {}});
            } else {
                const qsizetype start = i;
                for (++i; i < n && isWordChar(s[i]); ++i) {
                }
                out.push_back({Token::Word, s.mid(start, i - start).toUpper()});
            }
        } else if (isWordChar(c)) {
            const qsizetype start = i;
            while (i < n && isWordChar(s[i]))
                ++i;
            out.push_back({Token::Word, s.mid(start, i - start).toUpper()});
        } else {
            out.push_back({Token::Punct, QString(c)});
            ++i;
        }
    }
    return true;
}

bool isPunct(const Token &t, char c)
{
    return t.kind == Token::Punct && t.text.size() == 1 && t.text[0] == QLatin1Char(c);
}

bool isWord(const Token &t, const char *w)
{
    return t.kind == Token::Word && t.text == QLatin1String(w);
}

// The index after the ')' closing the '(' at open, or 0 when it is never closed.
std::size_t afterClose(const std::vector<Token> &t, std::size_t open, std::size_t end)
{
    int depth = 0;
    for (std::size_t i = open; i < end; ++i) {
        if (isPunct(t[i], '('))
            ++depth;
        else if (isPunct(t[i], ')') && --depth == 0)
            return i + 1;
    }
    return 0;
}

bool isQuery(const std::vector<Token> &t, std::size_t i, std::size_t end);

// name [(columns)] AS [NOT] [MATERIALIZED] (query) [, ...] — every part must be a query, as
// PostgreSQL lets a WITH part delete or insert.
bool withList(const std::vector<Token> &t, std::size_t &i, std::size_t end)
{
    for (;;) {
        if (i >= end || (t[i].kind != Token::Word && t[i].kind != Token::Name))
            return false;
        ++i;
        if (i < end && isPunct(t[i], '(')) {
            i = afterClose(t, i, end);
            if (i == 0)
                return false;
        }
        if (i >= end || !isWord(t[i], "AS"))
            return false;
        ++i;
        if (i < end && isWord(t[i], "NOT"))
            ++i;
        if (i < end && isWord(t[i], "MATERIALIZED"))
            ++i;
        if (i >= end || !isPunct(t[i], '('))
            return false;
        const std::size_t next = afterClose(t, i, end);
        if (next == 0 || !isQuery(t, i + 1, next - 1))
            return false;
        i = next;
        if (i < end && isPunct(t[i], ',')) {
            ++i;
            continue;
        }
        return true;
    }
}

bool isQuery(const std::vector<Token> &t, std::size_t i, std::size_t end)
{
    while (i < end && isPunct(t[i], '('))
        ++i;
    if (i < end && isWord(t[i], "WITH")) {
        ++i;
        if (i < end && isWord(t[i], "RECURSIVE"))
            ++i;
        if (!withList(t, i, end))
            return false;
        while (i < end && isPunct(t[i], '('))
            ++i;
    }
    if (i >= end || !(isWord(t[i], "SELECT") || isWord(t[i], "VALUES") || isWord(t[i], "TABLE")))
        return false;
    for (; i < end; ++i) {
        if (isWord(t[i], "INTO")) // SELECT ... INTO creates a table
            return false;
    }
    return true;
}

} // namespace

namespace {

bool isReadOnlyQuery(const QString &sql, bool backslashEscapes)
{
    std::vector<Token> tokens;
    if (!tokenize(sql, tokens, backslashEscapes))
        return false;
    std::size_t end = tokens.size();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (isPunct(tokens[i], ';')) {
            for (std::size_t j = i; j < tokens.size(); ++j) {
                if (!isPunct(tokens[j], ';'))
                    return false; // a second statement
            }
            end = i;
            break;
        }
    }
    return isQuery(tokens, 0, end);
}

} // namespace

bool isReadOnlyQuery(const QString &sql)
{
    // Whether a backslash escapes a quote depends on the database behind the driver; the
    // statement must read only either way.
    return isReadOnlyQuery(sql, false) && isReadOnlyQuery(sql, true);
}

std::string canonicalDecimal(const char *text, std::size_t len)
{
    std::size_t b = 0, e = len;
    while (b < e && (text[b] == ' ' || text[b] == '\t'))
        ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t'))
        --e;
    std::string out;
    out.reserve(e - b + 2);
    std::size_t i = b;
    if (i < e && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            out += '-';
        ++i;
    }
    bool digits = false, point = false;
    for (; i < e; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            out += c;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
            if (!digits)
                out += '0';
            out += '.';
        } else {
            return std::string(text, len); // not a plain decimal
        }
    }
    if (!digits)
        return std::string(text, len);
    if (point && out.back() == '.')
        out.pop_back();
    return out;
}

} // namespace db::odbc
