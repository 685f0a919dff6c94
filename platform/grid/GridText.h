#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>
#include <QTextLayout>

#include <functional>
#include <memory>
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

// A text laid out in one font as a QStaticText lays it out, kept a while by font and text: sizing
// a column and then painting its cells lay each text out once between them.
struct LaidOutText {
    QTextLayout layout;
    qreal width = 0; // as drawn
    // As QFontMetrics::horizontalAdvance measures the text; none where the layout's width is not
    // that (several lines, a soft hyphen, control characters).
    std::optional<int> advance;
};
std::shared_ptr<const LaidOutText> laidOutText(const QFont &font, const QString &text);
int laidOutTexts(); // texts laid out so far, for tests

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
        std::shared_ptr<const LaidOutText> shown;
        qreal lineHeight = 0;
    };
    QHash<quint64, Entry> m_entries;
    int m_layouts = 0;
};

// Finished pictures of plain cells (background, text and grid lines, nothing merged, no picture or
// check box), kept by what they show: a screen painted again with the same cells (a refresh of
// the same rows, a scroll back, a window uncovered) copies its cells instead of drawing their
// glyphs once more. A cell is kept from its second showing on, so a screen of new cells costs no
// more than drawing it; only cells whose glyphs stay inside them are kept, and only for painting
// straight into an image of the kind the picture is (the screen), so that the copy is the very
// pixels drawing would give. Bounded.
class CellImageCache {
public:
    struct Key {
        QString text;
        QFont font;
        QRgb fore = 0;
        QRgb back = 0;
        QRgb lines = 0;
        int lineStyle = 0;
        int alignment = 0;
        bool numeric = false;
        QSize size;
        size_t fontHash = 0; // set by paint: cells mostly share one font, hashed once
        bool operator==(const Key &) const = default;
    };

    // Paints the cell at `rect` from its picture when one is kept, drawing it with `draw` (which
    // paints the cell into a painter at `rect`) into a new picture on its second showing; false
    // when the cell must be drawn in place (nothing painted then).
    bool paint(QPainter *painter, Key key, const QRect &rect,
               const std::function<void(QPainter *, const QRect &)> &draw);
    void clear();
    int pictures() const { return m_pictures; } // cell pictures drawn so far
    // For tests: every cell drawn in place.
    static void setEnabled(bool enabled);

private:
    struct Entry {
        QImage image; // null: seen once, or never kept (glyphs outside the cell)
        bool keep = true;
    };
    QHash<Key, Entry> m_entries;
    qsizetype m_bytes = 0;
    QImage::Format m_format = QImage::Format_Invalid;
    int m_pictures = 0;
    QFont m_hashedFont;
    size_t m_fontHash = 0;
};

size_t qHash(const CellImageCache::Key &key, size_t seed = 0) noexcept;

} // namespace grid
