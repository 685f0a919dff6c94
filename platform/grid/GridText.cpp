#include "grid/GridText.h"

#include "grid/GridView.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace grid {

namespace {

constexpr int TextPad = 3;
constexpr int MaxCachedCells = 4096; // about ten screens of cells

// The advance of each Latin-1 character in one font (negative for control characters).
struct Advances {
    QFont font;
    std::array<qreal, 256> width{};
};

const Advances &advancesOf(const QFont &font)
{
    // A handful of fonts are in use at a time. Never freed: fonts must not outlive the
    // application object, and this lives as long as the process.
    static auto *known = new std::vector<std::unique_ptr<Advances>>;
    for (const auto &a : *known)
        if (a->font == font)
            return *a;
    if (known->size() >= 16)
        known->erase(known->begin());
    auto a = std::make_unique<Advances>();
    a->font = font;
    const QFontMetricsF fm(font);
    for (int ch = 0; ch < 256; ++ch)
        a->width[std::size_t(ch)] = ch < 0x20 || (ch >= 0x7F && ch < 0xA0) ? -1.0 : fm.horizontalAdvance(QChar(ch));
    known->push_back(std::move(a));
    return *known->back();
}

// Laid-out widths of texts in one font.
struct Widths {
    QFont font;
    QFontMetrics metrics;
    QHash<QString, int> width;
};
constexpr qsizetype MaxRememberedWidths = 8192;

bool hasControlCharacters(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar ch) { return ch.unicode() < 0x20; });
}

} // namespace

std::optional<qreal> quickWidth(const QFont &font, const QString &text)
{
    const Advances &a = advancesOf(font);
    qreal sum = 0;
    for (QChar ch : text) {
        if (ch.unicode() > 0xFF)
            return std::nullopt;
        const qreal w = a.width[ch.unicode()];
        if (w < 0)
            return std::nullopt;
        sum += w;
    }
    return sum;
}

int textWidth(const QFont &font, const QString &text)
{
    // As advancesOf: a few fonts, kept for the life of the process.
    static auto *known = new std::vector<std::unique_ptr<Widths>>;
    Widths *w = nullptr;
    for (const auto &k : *known) {
        if (k->font == font) {
            w = k.get();
            break;
        }
    }
    if (!w) {
        if (known->size() >= 16)
            known->erase(known->begin());
        known->push_back(std::make_unique<Widths>(Widths{font, QFontMetrics(font), {}}));
        w = known->back().get();
    }
    if (const auto it = w->width.constFind(text); it != w->width.constEnd())
        return *it;
    if (w->width.size() >= MaxRememberedWidths)
        w->width.clear();
    const int measured = w->metrics.horizontalAdvance(text);
    w->width.insert(text, measured);
    return measured;
}

bool surelyFits(const QFont &font, const QString &text, int width)
{
    if (text.isEmpty())
        return width >= 0;
    if (qsizetype(width) < text.size()) // no font draws a character in less than a pixel
        return false;
    const std::optional<qreal> w = quickWidth(font, text);
    return w && *w + quickWidthSlack(*w) <= width;
}

QString fittedText(const CellLook &look, int width)
{
    if (width <= 0)
        return {};
    if (surelyFits(look.font, look.text, width))
        return look.text;
    if (textWidth(look.font, look.text) <= width)
        return look.text;
    const QFontMetrics fm(look.font);
    if (look.numeric) {
        const int hash = std::max(1, fm.horizontalAdvance(QLatin1Char('#')));
        return QString(std::max(1, width / hash), QLatin1Char('#'));
    }
    return fm.elidedText(look.text, Qt::ElideRight, width);
}

bool textClipped(const CellLook &look, int width)
{
    if (look.text.isEmpty() || surelyFits(look.font, look.text, width - 2 * TextPad))
        return false;
    return textWidth(look.font, look.text) > width - 2 * TextPad;
}

void CellTextCache::draw(QPainter *p, const CellLook &look, const QRect &r, quint64 cell)
{
    p->setFont(look.font);
    p->setPen(look.fore);
    if (hasControlCharacters(look.text)) {
        // Line breaks and tabs are spaces on one line, as the painter's own layout makes them.
        p->drawText(r, look.qtAlignment | Qt::TextSingleLine, fittedText(look, r.width()));
        return;
    }
    if (m_entries.size() >= MaxCachedCells && !m_entries.contains(cell))
        m_entries.clear();
    Entry &e = m_entries[cell];
    if (e.width != r.width() || e.alignment != look.qtAlignment || e.numeric != look.numeric || e.text != look.text
        || e.font != look.font) {
        ++m_layouts;
        e.text = look.text;
        e.font = look.font;
        e.width = r.width();
        e.alignment = look.qtAlignment;
        e.numeric = look.numeric;
        e.shown.setTextFormat(Qt::PlainText);
        e.shown.setText(fittedText(look, r.width()));
        e.shown.prepare(p->transform(), look.font);
        e.shownWidth = e.shown.size().width();
        e.lineHeight = QFontMetricsF(look.font).height();
    }
    // Placed as the painter's own aligned text would be.
    qreal x = r.x();
    if (e.alignment & Qt::AlignRight)
        x = r.x() + r.width() - e.shownWidth;
    else if (e.alignment & Qt::AlignHCenter)
        x = r.x() + (r.width() - e.shownWidth) / 2;
    qreal y = r.y();
    if (e.alignment & Qt::AlignBottom)
        y = r.y() + r.height() - e.lineHeight;
    else if (e.alignment & Qt::AlignVCenter)
        y = r.y() + (r.height() - e.lineHeight) / 2;
    p->drawStaticText(QPointF(x, y), e.shown);
}

} // namespace grid
