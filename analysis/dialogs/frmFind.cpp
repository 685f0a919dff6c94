#include "dialogs/frmFind.h"

#include "hlTabulon/Options.h"
#include "ui/MousePointer.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

frmFind::frmFind(QWidget *parent)
    : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find"));
    setModal(false);

    auto *label = new QLabel(QStringLiteral("Find what:"), this);
    cboFind = new QComboBox(this);
    cboFind->setObjectName(QStringLiteral("cboFind"));
    cboFind->setEditable(true);
    // The history is kept by Find Next, not by the combo box.
    cboFind->setInsertPolicy(QComboBox::NoInsert);
    cboFind->setToolTip(QStringLiteral("Enter itme to find"));
    cboFind->setMinimumWidth(220);
    connect(cboFind->lineEdit(), &QLineEdit::textEdited, this, [this] { m_typed = true; });
    connect(cboFind, qOverload<int>(&QComboBox::activated), this, [this] { m_typed = false; });

    cmdFind = new QPushButton(QStringLiteral("&Find Next"), this);
    cmdFind->setObjectName(QStringLiteral("cmdFind"));
    cmdFind->setToolTip(QStringLiteral("Find specified item"));
    cmdFind->setAutoDefault(false);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("Exit"));
    cmdCancel->setAutoDefault(false);
    connect(cmdFind, &QPushButton::clicked, this, &frmFind::cmdFind_Click);
    // Enter acts as the button. The keyboard goes to the combo box, which hands keys to its line
    // edit directly, so a filter on the line edit never sees them: its signal is the one path.
    connect(cboFind->lineEdit(), &QLineEdit::returnPressed, this, &frmFind::cmdFind_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFind::close);

    auto *frame = new QGroupBox(QStringLiteral("Search columns"), this);
    optSelected[0] = new QRadioButton(QStringLiteral("All"), frame);
    optSelected[0]->setToolTip(QStringLiteral("Search all columns"));
    optSelected[1] = new QRadioButton(QStringLiteral("Current only"), frame);
    optSelected[1]->setToolTip(QStringLiteral("Search in currently selected columns only"));
    optSelected[0]->setChecked(true);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(optSelected[0]);
    frameLayout->addWidget(optSelected[1]);
    chkMatch = new QCheckBox(QStringLiteral("Match case"), this);
    chkMatch->setObjectName(QStringLiteral("chkMatch"));
    chkMatch->setToolTip(QStringLiteral("Find items that match case"));
    chkWord = new QCheckBox(QStringLiteral("Find whole word only"), this);
    chkWord->setObjectName(QStringLiteral("chkWord"));
    chkWord->setToolTip(QStringLiteral("Find items that matchewith whole word"));

    auto *layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(cboFind, 0, 1);
    layout->addWidget(cmdFind, 0, 2);
    layout->addWidget(chkMatch, 1, 0, 1, 2);
    layout->addWidget(cmdCancel, 1, 2);
    layout->addWidget(chkWord, 2, 0, 1, 2);
    layout->addWidget(frame, 1, 1, 2, 1, Qt::AlignRight);
}

void frmFind::setParentWindow(QWidget *parent)
{
    if (parent && parentWidget() != parent)
        setParent(parent, windowFlags());
}

void frmFind::load()
{
    const analysis::Options &o = analysis::options();
    m_findCount = 0;
    m_typed = false;
    chkMatch->setChecked(o.FindMatchCase);
    chkWord->setChecked(o.FindWholeWord);
    optSelected[o.FindCurrentColumn ? 1 : 0]->setChecked(true);
    m_loaded = true;
}

void frmFind::activate()
{
    // Emptied first, so a window shown again lists each entry once.
    cboFind->clear();
    const auto &history = analysis::options().FindHistory;
    for (const QString &entry : history) {
        if (entry.isEmpty())
            break;
        cboFind->addItem(entry);
    }
    cboFind->setCurrentIndex(cboFind->count() > 0 ? 0 : -1);
    cboFind->setEditText(cboFind->count() > 0 ? history[0] : QString());
    // The last search is offered selected: what the user types replaces it instead of running on
    // from its end.
    cboFind->lineEdit()->selectAll();
    ui::MousePointer::setDefault();
}

void frmFind::cmdFind_Click()
{
    const QString typed = cboFind->currentText();
    if (typed.trimmed().isEmpty())
        return;
    analysis::Options &o = analysis::options();
    auto &history = o.FindHistory;
    if (typed.trimmed() != history[0] && m_typed) {
        for (int i = analysis::FindHistorySize - 1; i >= 1; --i)
            history[std::size_t(i)] = history[std::size_t(i - 1)];
    }
    o.FindText = typed;
    history[0] = typed;
    o.FindCurrentColumn = optSelected[1]->isChecked();
    o.FindMatchCase = chkMatch->isChecked();
    o.FindWholeWord = chkWord->isChecked();
    qint32 direction = m_findCount == 0 ? 0 : 1;
    ++m_findCount;
    emit DoFind(direction);
}

void frmFind::unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    analysis::Save_FindHistory();
    emit UnLoad();
}

void frmFind::showEvent(QShowEvent *event)
{
    if (!m_loaded)
        load();
    QDialog::showEvent(event);
    activate();
}

void frmFind::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
    QDialog::closeEvent(event);
}

void frmFind::reject()
{
    unload();
    QDialog::reject();
}
