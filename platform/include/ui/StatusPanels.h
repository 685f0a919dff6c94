#pragma once

#include <tabulon/PlatformExport.h>

#include <QStatusBar>
#include <QString>

#include <memory>
#include <vector>

class QLabel;
class QProgressBar;
class QHBoxLayout;

namespace ui {

class StatusPanels;

// How a panel takes its width, by the classic status-bar constants.
enum PanelAutoSize { sbrNoAutoSize = 0, sbrSpring = 1, sbrContents = 2 };

// One numbered panel of a StatusPanels bar. Text is shown as plain text, exactly as set.
class PLATFORM_EXPORT StatusPanel {
public:
    QString Text() const { return m_text; }
    void setText(const QString &text);
    // How many times the text was set so far (the same text again counts too).
    quint64 textWrites() const { return m_textWrites; }
    QString ToolTipText() const { return m_toolTip; }
    void setToolTipText(const QString &text);
    QString Key() const { return m_key; }
    int Index() const { return m_index; }
    // Width in twips; the least width for spring and contents panels.
    void setWidth(int twips);
    PanelAutoSize AutoSize() const { return m_autoSize; }
    bool Visible() const { return m_visible; }
    void setVisible(bool visible);
    QLabel *label() const { return m_label; }

    StatusPanel(const StatusPanel &) = delete;
    StatusPanel &operator=(const StatusPanel &) = delete;
    ~StatusPanel();

private:
    friend class StatusPanels;
    StatusPanel(StatusPanels *bar, QLabel *label, QString key, int index);
    void applySize();

    StatusPanels *m_bar;
    QLabel *m_label; // owned by the bar
    QString m_key;
    int m_index;
    QString m_text;
    quint64 m_textWrites = 0;
    QString m_toolTip;
    int m_width = 1440;
    PanelAutoSize m_autoSize = sbrNoAutoSize;
    bool m_visible = true;
};

// A status bar of numbered panels, 1-based as the program counts them (staStatus.Panels(1) is
// the operation text), with an optional progress bar for long operations at its right end.
//     status->Panels(1).setText("Ready ...");
// A panel number or key that does not exist throws std::out_of_range naming the bar.
class PLATFORM_EXPORT StatusPanels : public QStatusBar {
    Q_OBJECT

public:
    explicit StatusPanels(QWidget *parent = nullptr);
    // A bar with `count` panels: the first a spring, the others sized to their contents.
    explicit StatusPanels(int count, QWidget *parent = nullptr);
    ~StatusPanels() override;

    StatusPanel &addPanel(PanelAutoSize autoSize = sbrNoAutoSize, int widthTwips = 1440, const QString &key = {});
    StatusPanel &Panels(int index) const;
    StatusPanel &Panels(const QString &key) const;
    int PanelCount() const { return int(m_panels.size()); }

    // --- the progress bar (prgProgress) ---
    QProgressBar *progressBar() const { return m_progress; }
    // Shows it with 0..maximum and value 0.
    void showProgress(int maximum);
    void setProgressValue(int value);
    int progressValue() const;
    // Moves it on by `step`, never beyond its maximum.
    void advanceProgress(int step = 1);
    void hideProgress();
    bool progressVisible() const;

private:
    std::vector<std::unique_ptr<StatusPanel>> m_panels;
    QWidget *m_panelArea = nullptr;
    QHBoxLayout *m_layout = nullptr;
    QProgressBar *m_progress = nullptr;
};

} // namespace ui
