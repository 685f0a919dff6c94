#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QString>

#include <optional>

class QPainter;
class QRect;

namespace grid {

struct CellLook;

// The width of `text` in `font` from the advances of its characters, without laying it out:
// within quickWidthSlack() of the laid-out width. Nothing for characters beyond Latin-1 or
// control characters.
std::optional<qreal> quickWidth(const QFont &font, const QString &text);
inline qreal quickWidthSlack(qreal width) { return 2.0 + width / 50.0; } // kerning and hinting

// The width of `text` in `font` as QFontMetrics::horizontalAdvance lays it out. Texts measured
// lately are remembered (a bounded number per font), so sizing the same rows again, or the same
// values in another grid, lays nothing out.
int textWidth(const QFont &font, const QString &text);

// Whether `text` surely fits in `width` pixels of `font`, judged from the advances of its
// characters without laying the text out; false when unsure (characters beyond Latin-1, or too
// close to call), and the caller measures.
bool surelyFits(const QFont &font, const QString &text, int width);

// The texts of the cells painted lately, each laid out once: repainting an unchanged cell draws
// its glyphs without shaping or eliding its text again. Keyed by a number the caller gives each
// cell; a cell whose text, font, width or alignment changed is laid out afresh. Bounded.
class CellTextCache {
public:
    // Draws the cell's text (elided, or "###" for a number that does not fit) into textRect.
    void draw(QPainter *painter, const CellLook &look, const QRect &textRect, quint64 cell);
    void clear() { m_entries.clear(); }
    int layouts() const { return m_layouts; } // texts laid out so far

private:
    struct Entry {
        QString text;
        QFont font;
        int width = -1;
        int alignment = 0;
        bool numeric = false;
        QStaticText shown;
        qreal shownWidth = 0;
        qreal lineHeight = 0;
    };
    QHash<quint64, Entry> m_entries;
    int m_layouts = 0;
};

} // namespace grid
