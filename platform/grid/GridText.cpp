#include "grid/GridText.h"

#include "grid/GridView.h"

#include <QColorSpace>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <vector>

namespace grid {

namespace {

constexpr int TextPad = 3;
constexpr int MaxCachedCells = 4096; // about ten screens of cells
constexpr qsizetype MaxCellImageBytes = 8 * 1024 * 1024; // a few screens of cell pictures
constexpr qsizetype MaxCellImageKeys = 16384;
bool g_cellImages = true;

// The advance of each Latin-1 character in one font (negative for control characters).
struct Advances {
    QFont font;
    std::array<qreal, 256> width{};
};

// The table of `font` among the per-font tables `known`, made by `make` when it has none. A
// handful of fonts are in use at a time: the last 16 are kept. The tables are never freed (fonts
// must not outlive the application object, and the tables live as long as the process).
template <class Table, class Make>
Table &tableOf(std::vector<std::unique_ptr<Table>> &known, const QFont &font, Make make)
{
    for (const auto &t : known)
        if (t->font == font)
            return *t;
    if (known.size() >= 16)
        known.erase(known.begin());
    known.push_back(make());
    return *known.back();
}

const Advances &advancesOf(const QFont &font)
{
    static auto *known = new std::vector<std::unique_ptr<Advances>>;
    return tableOf(*known, font, [&] {
        auto a = std::make_unique<Advances>();
        a->font = font;
        const QFontMetricsF fm(font);
        for (int ch = 0; ch < 256; ++ch)
            a->width[std::size_t(ch)] = ch < 0x20 || (ch >= 0x7F && ch < 0xA0) ? -1.0 : fm.horizontalAdvance(QChar(ch));
        return a;
    });
}

// Laid-out widths of texts in one font.
struct Widths {
    QFont font;
    QFontMetrics metrics;
    QHash<QString, int> width;
};
constexpr qsizetype MaxRememberedWidths = 8192;

// Texts laid out lately in one font.
struct Layouts {
    QFont font;
    QHash<QString, std::shared_ptr<const LaidOutText>> text;
};
constexpr qsizetype MaxRememberedLayouts = 2048; // a few screens of cells
int g_laidOutTexts = 0;

bool hasControlCharacters(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar ch) { return ch.unicode() < 0x20; });
}

// Whether a layout's one line has the width QFontMetrics measures: a soft hyphen ending the line is
// drawn but not measured, and controls are measured their own way.
bool measuredAsLaidOut(const QString &text)
{
    return std::none_of(text.begin(), text.end(), [](QChar ch) {
        const char16_t u = ch.unicode();
        return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0xAD;
    });
}

// Whether everything drawn on `picture` (filled with one colour first) lies inside `inside`.
bool onlyInside(const QImage &picture, const QRect &inside)
{
    const int width = picture.width();
    const int height = picture.height();
    if (picture.depth() == 32) {
        const auto back = reinterpret_cast<const quint32 *>(picture.constScanLine(0))[0];
        const auto plain = [back](const quint32 *from, const quint32 *to) {
            return std::all_of(from, to, [back](quint32 px) { return px == back; });
        };
        for (int y = 0; y < height; ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(picture.constScanLine(y));
            if (y < inside.top() || y > inside.bottom()) {
                if (!plain(line, line + width))
                    return false;
            } else if (!plain(line, line + inside.left()) || !plain(line + inside.right() + 1, line + width)) {
                return false;
            }
        }
        return true;
    }
    const QRgb back = picture.pixel(0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (!inside.contains(x, y) && picture.pixel(x, y) != back)
                return false;
    return true;
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

std::shared_ptr<const LaidOutText> laidOutText(const QFont &font, const QString &text)
{
    static auto *known = new std::vector<std::unique_ptr<Layouts>>;
    Layouts *l = &tableOf(*known, font, [&] { return std::make_unique<Layouts>(Layouts{font, {}}); });
    if (const auto it = l->text.constFind(text); it != l->text.constEnd())
        return *it;
    if (l->text.size() >= MaxRememberedLayouts)
        l->text.clear();
    // The lines of a QStaticText of the text (its drawing is then the same), without a width.
    auto laid = std::make_shared<LaidOutText>();
    laid->layout.setText(text);
    laid->layout.setFont(font);
    laid->layout.setCacheEnabled(true);
    laid->layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = laid->layout.createLine(); line.isValid(); line = laid->layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(std::numeric_limits<int>::max() / 256.0);
        line.setPosition(QPointF(0, height));
        height += line.height();
        if (line.leading() < 0)
            height += qCeil(line.leading());
    }
    laid->layout.endLayout();
    laid->width = laid->layout.boundingRect().width();
    if (laid->layout.lineCount() == 1 && measuredAsLaidOut(text))
        laid->advance = qRound(laid->layout.lineAt(0).horizontalAdvance());
    ++g_laidOutTexts;
    l->text.insert(text, laid);
    return laid;
}

int laidOutTexts()
{
    return g_laidOutTexts;
}

int textWidth(const QFont &font, const QString &text)
{
    static auto *known = new std::vector<std::unique_ptr<Widths>>;
    Widths *w = &tableOf(*known, font, [&] { return std::make_unique<Widths>(Widths{font, QFontMetrics(font), {}}); });
    if (const auto it = w->width.constFind(text); it != w->width.constEnd())
        return *it;
    if (w->width.size() >= MaxRememberedWidths)
        w->width.clear();
    // Laid out once for the width and for the painter that draws the text next.
    std::optional<int> advance;
    if (measuredAsLaidOut(text))
        advance = laidOutText(font, text)->advance;
    const int measured = advance ? *advance : w->metrics.horizontalAdvance(text);
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
        e.shown = laidOutText(look.font, fittedText(look, r.width()));
        e.lineHeight = QFontMetricsF(look.font).height();
    }
    const qreal shownWidth = e.shown->width;
    // Placed as the painter's own aligned text would be.
    qreal x = r.x();
    if (e.alignment & Qt::AlignRight)
        x = r.x() + r.width() - shownWidth;
    else if (e.alignment & Qt::AlignHCenter)
        x = r.x() + (r.width() - shownWidth) / 2;
    qreal y = r.y();
    if (e.alignment & Qt::AlignBottom)
        y = r.y() + r.height() - e.lineHeight;
    else if (e.alignment & Qt::AlignVCenter)
        y = r.y() + (r.height() - e.lineHeight) / 2;
    e.shown->layout.draw(p, QPointF(x, y));
}

size_t qHash(const CellImageCache::Key &key, size_t seed) noexcept
{
    return qHashMulti(seed, key.text, key.fontHash, key.fore, key.back, key.lines, key.lineStyle, key.alignment,
                      key.numeric, key.size.width(), key.size.height());
}

void CellImageCache::setEnabled(bool enabled)
{
    g_cellImages = enabled;
}

void CellImageCache::clear()
{
    m_entries.clear();
    m_bytes = 0;
}

bool CellImageCache::paint(QPainter *p, Key key, const QRect &rect,
                           const std::function<void(QPainter *, const QRect &)> &draw)
{
    if (!g_cellImages || rect.isEmpty())
        return false;
    // Straight into an image, moved by whole pixels only, nothing blended on top: then a picture
    // of the same kind holds exactly what drawing there would.
    QPaintEngine *engine = p->paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !engine->paintDevice()
        || engine->paintDevice()->devType() != QInternal::Image)
        return false;
    const auto *target = static_cast<const QImage *>(engine->paintDevice());
    const QTransform t = p->deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != qRound(t.dx()) || t.dy() != qRound(t.dy())
        || target->devicePixelRatio() != 1.0 || p->opacity() != 1.0
        || p->compositionMode() != QPainter::CompositionMode_SourceOver || qAlpha(key.back) != 255
        || key.fore == key.back)
        return false;
    if (target->format() != m_format) {
        clear();
        m_format = target->format();
    }
    if (!(key.font == m_hashedFont)) {
        m_hashedFont = key.font;
        m_fontHash = qHash(key.font);
    }
    key.fontHash = m_fontHash;
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        if (m_entries.size() >= MaxCellImageKeys)
            clear();
        m_entries.insert(key, Entry{});
        return false;
    }
    if (!it->keep)
        return false;
    if (it->image.isNull()) {
        // Drawn with room around it: a glyph reaching out of the cell would be cut off in a
        // picture, so such a cell is drawn in place from now on.
        const int padX = std::max(8, rect.height());
        const int padY = std::max(4, rect.height() / 2);
        QImage picture(rect.width() + 2 * padX, rect.height() + 2 * padY, m_format);
        picture.setColorSpace(target->colorSpace());
        const QColor back = QColor::fromRgba(key.back);
        picture.fill(back);
        {
            QPainter ip(&picture);
            ip.setRenderHints(p->renderHints());
            draw(&ip, QRect(QPoint(padX, padY), rect.size()));
        }
        const QRect inside(QPoint(padX, padY), rect.size());
        it->keep = onlyInside(picture, inside);
        if (!it->keep)
            return false;
        if (m_bytes + picture.sizeInBytes() > MaxCellImageBytes) {
            clear();
            it = m_entries.insert(key, Entry{});
        }
        it->image = picture.copy(inside);
        m_bytes += it->image.sizeInBytes();
        ++m_pictures;
    }
    p->drawImage(rect.topLeft(), it->image);
    return true;
}

} // namespace grid
