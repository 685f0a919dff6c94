#pragma once

#include <QWidget>

class QLabel;

// The start-up window: the product, its version and a slogan, topmost while the program starts.
// The first activation of the browser window closes it.
class frmSplash : public QWidget {
    Q_OBJECT

public:
    explicit frmSplash(QWidget *parent = nullptr);

    // True while start-up runs: closing the splash then hands the focus to the main window.
    void setLoading(bool on) { m_blnLoading = on; }

    QLabel *lblVersion = nullptr;
    QLabel *imgLogo[1] = {nullptr}; // the control array: our home page
    QLabel *Image1 = nullptr;       // the product page
    QLabel *Image2 = nullptr;       // the product page

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_blnLoading = false;
};
