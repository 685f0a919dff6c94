#pragma once

#include <QFrame>
#include <QPointer>

class QLabel;
class QPushButton;
class QToolButton;
class QueryBuilder;

// "Query Builder:": the window inside the query window's control that hosts the query builder.
// The control docks it on one side of its results or lets it float over them; the user's close
// only hides it, so the conditions are there again at the next show. Its size and position are
// kept in the settings section "QueryBuilder" (twips). Apply of the hosted builder takes its
// filter into the control's query and refreshes the current view.
class frmQueryBuilder : public QFrame {
    Q_OBJECT
public:
    explicit frmQueryBuilder(QWidget *parent = nullptr);
    ~frmQueryBuilder() override;

    // The control that owns the window (Set_Query and Refresh are called on it by name).
    void setCalledFrom(QObject *control) { m_calledFrom = control; }
    // The window it lives in; it takes its stored geometry when first given one.
    void setParentWindow(QWidget *parent);

    QueryBuilder *hlQueryBuilder() const { return m_builder; }
    QLabel *lblCaption = nullptr;
    QToolButton *cmdClose = nullptr;  // the close box
    QPushButton *cmdCancel = nullptr; // out of view: Escape closes as the close box does

    // Closes as the user does: the settings are written and the window hidden, not unloaded.
    void closeByUser();
    // Writes Width, Height, Top and Left to the settings section.
    void saveGeometry() const;

signals:
    // The user closed (hid) the window.
    void QueryUnload();
    // The window's size changed.
    void Resize();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadGeometry();
    void Form_Resize();
    void hlQueryBuilder_Apply();

    QueryBuilder *m_builder = nullptr;
    QWidget *m_rightEdge = nullptr;
    QWidget *m_bottomEdge = nullptr;
    QPointer<QObject> m_calledFrom;
    QPoint m_dragStart;
    QSize m_dragSize;
    bool m_loaded = false;
};
