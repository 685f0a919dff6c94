#pragma once

#include <tabulon/PaneDividerExport.h>

#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <QWidget>

class QMouseEvent;

// Divides its area between two panes and a bar the user drags to move the division. The host
// places two of its controls in the splitter (ideally as its children) and names them Child1 and
// Child2; the splitter moves and sizes them and raises Resize after every layout, so that the
// host can store SplitPercent.
//
// Sizes are in twips, converted to pixels at the splitter's screen. The panes are not owned: a
// pane that is destroyed is simply left out of the layout. A pane whose parent is not the
// splitter is placed at the same spot of the screen in its own parent's coordinates. No pane
// is ever given a negative size (see splitter::computeLayout for SplitPercent over 100 and a bar
// thicker than the splitter).
//
// SplitPercent and SplitterWidth are bytes: a value outside 0..255 throws std::out_of_range
// (automation reports it as a failed write) and leaves the property unchanged.
class PANEDIVIDER_EXPORT Splitter : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("DispId:Orientation", "0x68030005")
    Q_CLASSINFO("DispId:Child1", "0x68030004")
    Q_CLASSINFO("DispId:Child2", "0x68030003")
    Q_CLASSINFO("DispId:SplitPercent", "0x68030002")
    Q_CLASSINFO("DispId:SplitterWidth", "0x68030001")
    Q_CLASSINFO("DispId:SplitterColor", "0x68030000")
    // The outgoing interface's identifier, for an event sink; not a callable member.
    Q_CLASSINFO("EventDispId:Resize", "1")
    Q_PROPERTY(splitterOrientation Orientation READ Orientation WRITE setOrientation)
    Q_PROPERTY(QWidget *Child1 READ Child1 WRITE setChild1)
    Q_PROPERTY(QWidget *Child2 READ Child2 WRITE setChild2)
    Q_PROPERTY(int SplitPercent READ SplitPercent WRITE setSplitPercent)
    Q_PROPERTY(int SplitterWidth READ SplitterWidth WRITE setSplitterWidth)
    Q_PROPERTY(quint32 SplitterColor READ SplitterColor WRITE setSplitterColor)

public:
    enum splitterOrientation : int { splitVertical = 0, splitHorizontal = -1 };
    Q_ENUM(splitterOrientation)

    explicit Splitter(QWidget *parent = nullptr);
    ~Splitter() override;

    // Any non-zero value is stored as splitHorizontal. Lays out.
    splitterOrientation Orientation() const;
    void setOrientation(splitterOrientation orientation);
    void setOrientation(int orientation) { setOrientation(splitterOrientation(orientation)); }

    QWidget *Child1() const { return m_child1; }
    void setChild1(QWidget *pane); // lays out; nullptr releases the pane
    QWidget *Child2() const { return m_child2; }
    void setChild2(QWidget *pane);

    // The first pane's share in percent, rounded; writing lays out.
    int SplitPercent() const;
    void setSplitPercent(int percent);
    // Bar thickness in twips; used by the next layout.
    int SplitterWidth() const { return m_barWidth; }
    void setSplitterWidth(int twips);
    // A 0x00BBGGRR or system colour; 0 and 0x8000000F both paint the system button face.
    quint32 SplitterColor() const { return m_color; }
    void setSplitterColor(quint32 color);

    // The first pane's share of the space the bar leaves (0.001 .. 0.999 after a drag).
    float fraction() const { return m_fraction; }
    // The colour the bar is painted in.
    QColor barColor() const;
    QWidget *SplitterBar() const { return m_bar; }

    // --- the host's property bag ---
    // Defaults of a new instance: vertical, 50 %, bar 50 twips. Lays nothing out.
    Q_INVOKABLE void InitProperties();
    // Each key is read and applied through its writer on its own; a missing key takes its read
    // default (Orientation False, SplitPercent 50, SplitterWidth 80), a value that does not fit
    // leaves that property as it was. Keys match without regard to case.
    Q_INVOKABLE void ReadProperties(const QVariantMap &bag);
    // Only values that differ from their written defaults (False, 50, 80).
    Q_INVOKABLE QVariantMap WriteProperties() const;

    // Places the panes and the bar, then raises Resize.
    Q_INVOKABLE void layoutPanes();

signals:
    void Resize();
    // A writer marked its property as changed for the host's property bag.
    void PropertyChanged(const QString &name);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class SplitterBarWidget;
    void barPressed();
    void barMoved(QMouseEvent *event);
    void barReleased();
    void place(QWidget *widget, const QRectF &twips);

    QWidget *m_bar = nullptr;
    QPointer<QWidget> m_child1;
    QPointer<QWidget> m_child2;
    bool m_horizontal = false;
    float m_fraction = 0.5f;
    int m_barWidth = 50;
    quint32 m_color = 0;
};
