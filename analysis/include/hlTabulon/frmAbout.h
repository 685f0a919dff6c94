#pragma once

#include <tabulon/hlTabulonExport.h>

#include <QDialog>

class QLabel;
class QPushButton;

// The library's about window: product name, version and a legal warning, with links to our web
// pages. Shown modally by the control's ShowAboutBox.
class HLTABULON_EXPORT frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    // Fills the window; run when it is created.
    Q_INVOKABLE bool Init();

    QLabel *lblVersion = nullptr;
    QLabel *lblWarning = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Image2 = nullptr; // the one member (index 0) of its array
    QLabel *Image3 = nullptr;
    QLabel *imgLogo = nullptr;
    QPushButton *cmdOK = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
};
