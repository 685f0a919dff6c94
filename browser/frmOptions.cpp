#include "frmOptions.h"

#include "BrowserTrap.h"
#include "Passwords.h"
#include "db/ConnectionString.h"
#include "grid/Grid.h"
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "settings/SettingsStore.h"
#include "ui/FormButton.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <stdexcept>

namespace browser {

namespace {

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &caption)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

} // namespace

frmOptions::frmOptions(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(tr("Options"));
    setModal(true);

    tabOptions = new QTabWidget(this);
    tabOptions->setObjectName(QStringLiteral("tabOptions"));
    tabOptions->addTab(buildGeneralTab(), tr("General"));
    tabOptions->addTab(buildDataSourcesTab(), tr("Data Sources"));
    tabOptions->addTab(buildAdminTab(), tr("Admin"));

    cmdOK = ui::formButton(this, QStringLiteral("cmdOK"), tr("&OK"));
    cmdOK->setDefault(true);
    cmdCancel = ui::formButton(this, QStringLiteral("cmdCancel"), tr("&Cancel"));
    cmdApply = ui::formButton(this, QStringLiteral("cmdApply"), tr("&Apply"));
    cmdApply->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {cmdOK, cmdCancel, cmdApply})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabOptions, 1);
    layout->addLayout(buttons);

    connect(tabOptions, &QTabWidget::currentChanged, this, &frmOptions::tabOptions_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::reject);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);
}

frmOptions::~frmOptions()
{
    // However the dialog ends, data-source edits it did not save do not outlive it.
    discardUnsaved();
}

QWidget *frmOptions::buildGeneralTab()
{
    auto *page = new QWidget;
    auto *fraDisplay = new QGroupBox(tr("Display"), page);
    chkToolBarText = checkBox(fraDisplay, "chkToolBarText", tr("Toolbar Text"));
    chkGridLines = checkBox(fraDisplay, "chkGridLines", tr("Grid Lines"));
    auto *display = new QVBoxLayout(fraDisplay);
    display->addWidget(chkToolBarText);
    display->addWidget(chkGridLines);

    auto *fraToolTips = new QGroupBox(tr("Tooltips"), page);
    chkObjectToolTips = checkBox(fraToolTips, "chkObjectToolTips", tr("Displayed"));
    chkFieldTypes = checkBox(fraToolTips, "chkFieldTypes", tr("Show Field Types"));
    chkSortFields = checkBox(fraToolTips, "chkSortFields", tr("Sort Fields"));
    txtObjectToolDelay = new QLineEdit(fraToolTips);
    txtObjectToolDelay->setObjectName(QStringLiteral("txtObjectToolDelay"));
    txtObjectToolDelay->installEventFilter(this);
    auto *lblDelay = new QLabel(tr("Delay"), fraToolTips);
    lblDelay->setBuddy(txtObjectToolDelay);
    auto *delayRow = new QHBoxLayout;
    delayRow->addWidget(lblDelay);
    delayRow->addWidget(txtObjectToolDelay);
    delayRow->addStretch();
    auto *tips = new QVBoxLayout(fraToolTips);
    tips->addWidget(chkObjectToolTips);
    tips->addWidget(chkFieldTypes);
    tips->addWidget(chkSortFields);
    tips->addLayout(delayRow);

    auto *fraSplit = new QGroupBox(tr("Split"), page);
    optSplit[0] = new QRadioButton(tr("Vertical"), fraSplit);
    optSplit[0]->setObjectName(QStringLiteral("optSplit0"));
    optSplit[1] = new QRadioButton(tr("Horizontal"), fraSplit);
    optSplit[1]->setObjectName(QStringLiteral("optSplit1"));
    optSplit[0]->setChecked(true);
    chkLeft = checkBox(fraSplit, "chkLeft", tr("Data objects on left\\top"));
    auto *split = new QVBoxLayout(fraSplit);
    split->addWidget(optSplit[0]);
    split->addWidget(optSplit[1]);
    split->addWidget(chkLeft);

    auto *layout = new QGridLayout(page);
    layout->addWidget(fraDisplay, 0, 0);
    layout->addWidget(fraSplit, 1, 0);
    layout->addWidget(fraToolTips, 0, 1, 2, 1);
    layout->setRowStretch(2, 1);

    for (QCheckBox *box : {chkToolBarText, chkGridLines, chkFieldTypes, chkSortFields, chkLeft})
        connect(box, &QCheckBox::toggled, this, &frmOptions::optionChanged);
    connect(chkObjectToolTips, &QCheckBox::toggled, this, &frmOptions::toolTipsChanged);
    connect(txtObjectToolDelay, &QLineEdit::textChanged, this, &frmOptions::optionChanged);
    // Both buttons report a switch; one change is enough.
    connect(optSplit[1], &QRadioButton::toggled, this, &frmOptions::optionChanged);
    return page;
}

QWidget *frmOptions::buildDataSourcesTab()
{
    auto *page = new QWidget;
    grdDataSources = new grid::Grid(page);
    grdDataSources->setObjectName(QStringLiteral("grdDataSources"));
    const QString captions[] = {tr("&New"), tr("&Edit"), tr("&Delete"), tr("&Refresh")};
    auto *buttons = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        cmdDataSource[size_t(i)] = ui::formButton(page, QStringLiteral("cmdDataSource%1").arg(i), captions[i]);
        buttons->addWidget(cmdDataSource[size_t(i)]);
        connect(cmdDataSource[size_t(i)], &QPushButton::clicked, this, [this, i] { cmdDataSource_Click(i); });
    }
    buttons->addStretch();
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(grdDataSources, 1);
    layout->addLayout(buttons);
    connect(grdDataSources, &grid::Grid::DblClick, this, [this] { cmdDataSource_Click(1); });
    return page;
}

QWidget *frmOptions::buildAdminTab()
{
    auto *page = new QWidget;
    auto *fraView = new QGroupBox(tr("View"), page);
    chkOptions = checkBox(fraView, "chkOptions", tr("Options"));
    chkOpenSQL = checkBox(fraView, "chkOpenSQL", tr("Editable SQL"));
    auto *view = new QVBoxLayout(fraView);
    view->addWidget(chkOptions);
    view->addWidget(chkOpenSQL);

    auto *fraPassword = new QGroupBox(tr("Password"), page);
    chkPasswordData = checkBox(fraPassword, "chkPasswordData", tr("Data Sources ("));
    chkDataSource = checkBox(fraPassword, "chkDataSource", tr("Editable)"));
    chkPasswordAdmin = checkBox(fraPassword, "chkPasswordAdmin", tr("Admin"));
    cmdPassword = ui::formButton(fraPassword, QStringLiteral("cmdPassword"), tr("&Set"));
    auto *dataRow = new QHBoxLayout;
    dataRow->setSpacing(0);
    dataRow->addWidget(chkPasswordData);
    dataRow->addWidget(chkDataSource);
    dataRow->addStretch();
    auto *password = new QVBoxLayout(fraPassword);
    password->addLayout(dataRow);
    password->addWidget(chkPasswordAdmin);
    password->addWidget(cmdPassword, 0, Qt::AlignLeft);

    auto *fraTypes = new QGroupBox(tr("Data Types"), page);
    const QString types[] = {tr("Tables"), tr("Views"), tr("Stored Procs.")};
    auto *typesLayout = new QVBoxLayout(fraTypes);
    for (int i = 0; i < 3; ++i) {
        chkQueryView[size_t(i)] = new QCheckBox(types[i], fraTypes);
        chkQueryView[size_t(i)]->setObjectName(QStringLiteral("chkQueryView%1").arg(i));
        typesLayout->addWidget(chkQueryView[size_t(i)]);
        connect(chkQueryView[size_t(i)], &QCheckBox::toggled, this, &frmOptions::queryViewChanged);
    }

    auto *layout = new QGridLayout(page);
    layout->addWidget(fraView, 0, 0);
    layout->addWidget(fraTypes, 1, 0);
    layout->addWidget(fraPassword, 0, 1, 2, 1);
    layout->setRowStretch(2, 1);

    for (QCheckBox *box : {chkOptions, chkOpenSQL, chkDataSource})
        connect(box, &QCheckBox::toggled, this, &frmOptions::optionChanged);
    for (QCheckBox *box : {chkPasswordData, chkPasswordAdmin})
        connect(box, &QCheckBox::toggled, this, &frmOptions::passwordBoxChanged);
    connect(cmdPassword, &QPushButton::clicked, this, &frmOptions::cmdPassword_Click);
    return page;
}

bool frmOptions::load()
{
    if (!m_loadTried) {
        m_loadTried = true;
        Init();
    }
    return m_loaded;
}

bool frmOptions::Init()
{
    return trap(QStringLiteral("Init"), [&] {
        m_loaded = false;
        m_passwordGiven = false;
        // What the data-source file holds now; closing without saving returns the table to it.
        m_savedTable = dataSources();
        m_haveSnapshot = true;
        if (!Set_Grid())
            return false;

        const BrowserSettings &s = browserSettings();
        optSplit[s.SplitOrientation ? 1 : 0]->setChecked(true);
        chkLeft->setChecked(s.SplitLeft);
        chkGridLines->setChecked(s.GridLines);
        chkToolBarText->setChecked(s.ToolBarText);
        if (!Set_ToolTips())
            return false;

        chkObjectToolTips->setChecked(s.ObjectToolTips);
        toolTipsChanged();
        chkFieldTypes->setChecked(s.ObjectToolTipFieldTypes);
        chkSortFields->setChecked(s.ObjectToolTipSort);
        txtObjectToolDelay->setText(QString::number(s.ObjectToolDelay));

        chkDataSource->setChecked(s.EditData);
        chkQueryView[0]->setChecked(s.OpenTable);
        chkQueryView[1]->setChecked(s.OpenView);
        chkQueryView[2]->setChecked(s.OpenSp);
        chkPasswordAdmin->setChecked(s.AdminPassword);
        chkPasswordData->setChecked(s.DataPassword);
        passwordBoxChanged();
        chkOpenSQL->setChecked(s.OpenSQL);
        chkOptions->setChecked(s.Options);

        tabOptions->setTabEnabled(tabDataSources, s.EditData);
        // A guarded first tab goes through the tab guard like any other change of tab.
        if (m_initialTab >= 0 && m_initialTab < tabOptions->count() && tabOptions->isTabEnabled(m_initialTab))
            tabOptions->setCurrentIndex(m_initialTab);

        if (!Refresh_DataSources())
            return false;

        cmdApply->setEnabled(false);
        m_optionsChanged = false;
        m_dataSourcesChanged = false;
        m_loaded = true;
        return true;
    });
}

bool frmOptions::Set_Grid()
{
    return trap(QStringLiteral("Set_Grid"), [&] {
        grdDataSources->setRows(1);
        grdDataSources->setCols(colCount);
        grdDataSources->setFixedRows(1);
        grdDataSources->setFixedCols(0);
        const QString headers[] = {tr("NUM"), tr("ID"), tr("Name"), tr("Provider"), tr("Server"),
                                   tr("Database"), tr("Connection"), tr("Description"), tr("Delimiter")};
        for (int c = 0; c < colCount; ++c)
            grdDataSources->setTextMatrix(0, c, headers[c]);
        for (int c : {colNum, colID, colConnection})
            grdDataSources->setColHidden(c, true);
        grdDataSources->setSelectionMode(grid::flexSelectionByRow);
        grdDataSources->setEditable(grid::flexEDNone);
        grdDataSources->setAllowUserResizing(grid::flexResizeColumns);
        grdDataSources->setGridLines(grid::flexGridFlat);
        return true;
    });
}

bool frmOptions::Set_ToolTips()
{
    return trap(QStringLiteral("Set_ToolTips"), [&] {
        chkToolBarText->setToolTip(tr("Display descriptive text on Data toolbar icons"));
        chkGridLines->setToolTip(tr("Display grid lines (Details view only)"));
        chkObjectToolTips->setToolTip(tr("Display object fields as tooltip"));
        chkSortFields->setToolTip(tr("Sort fields in tool tip by name"));
        txtObjectToolDelay->setToolTip(tr("Object tool tip delay"));
        optSplit[0]->setToolTip(tr("Split Browser and Data Objects panes vertically"));
        optSplit[1]->setToolTip(tr("Split Browser and Data Objects panes horizontally"));
        chkLeft->setToolTip(tr("Display data objects pane on the left\\top"));
        const QString sourceTips[] = {tr("Add a new Data Source"), tr("Edit the current Data Source"),
                                      tr("Delete the current Data Source"), tr("Refresh the Data Sources")};
        for (size_t i = 0; i < cmdDataSource.size(); ++i)
            cmdDataSource[i]->setToolTip(sourceTips[i]);
        chkOptions->setToolTip(tr("Allow user to set options"));
        chkOpenSQL->setToolTip(tr("Allow user to edit Results SQL"));
        chkPasswordData->setToolTip(tr("Require password to view Data Sources tab"));
        chkDataSource->setToolTip(tr("Allow user to edit Data Sources"));
        chkPasswordAdmin->setToolTip(tr("Require password to view Admin tab"));
        cmdPassword->setToolTip(tr("Set password for Data Sources and Admin tabs"));
        const QString typeTips[] = {tr("Allow user to query Tables"), tr("Allow user to query Views"),
                                    tr("Allow user to query Stored Procedures")};
        for (size_t i = 0; i < chkQueryView.size(); ++i)
            chkQueryView[i]->setToolTip(typeTips[i]);
        cmdOK->setToolTip(tr("Save changes and exit"));
        cmdCancel->setToolTip(tr("Exit without saving changes"));
        cmdApply->setToolTip(tr("Apply changes"));
        return true;
    });
}

bool frmOptions::Refresh_DataSources()
{
    return trap(QStringLiteral("Refresh_DataSources"), [&] {
        for (int i = 1; i <= 3; ++i)
            cmdDataSource[size_t(i)]->setEnabled(false);
        grdDataSources->setRows(1);
        const DataSourceTable &table = dataSources();
        for (const DataSourceRow &row : table.rows) {
            if (row.Name.isEmpty())
                continue;
            const QString connection = connectionText(row);
            const int r = grdDataSources->Rows();
            grdDataSources->setRows(r + 1);
            grdDataSources->setTextMatrix(r, colID, row.ID);
            grdDataSources->setTextMatrix(r, colName, undoubleApostrophes(row.Name));
            grdDataSources->setTextMatrix(r, colProvider, Get_Value(connection, QStringLiteral("Provider")));
            grdDataSources->setTextMatrix(r, colServer, Get_Value(connection, QStringLiteral("Data Source")));
            grdDataSources->setTextMatrix(r, colDatabase, Get_Value(connection, QStringLiteral("Initial Catalog")));
            grdDataSources->setTextMatrix(r, colConnection, db::maskPasswords(connection));
            grdDataSources->setTextMatrix(r, colDescription, undoubleApostrophes(row.Description));
            grdDataSources->setTextMatrix(r, colDelimiter, undoubleApostrophes(row.Delimiter));
        }
        const bool any = grdDataSources->Rows() > 1;
        if (any) {
            for (int i = 1; i <= 3; ++i)
                cmdDataSource[size_t(i)]->setEnabled(true);
            grdDataSources->Select(1, colName);
        }
        grdDataSources->AutoSize(0, colCount - 1);
        cmdDataSource[1]->setEnabled(any);
        return true;
    });
}

QString frmOptions::Get_Value(const QString &connection, const QString &keyName)
{
    try {
        if (keyName.isEmpty())
            return {};
        QString text = connection;
        if (!text.endsWith(u';'))
            text += u';';
        const qsizetype at = text.indexOf(keyName, 0, Qt::CaseSensitive);
        if (at < 0)
            return {};
        const qsizetype equals = text.indexOf(u'=', at);
        if (equals < 0)
            return {};
        const qsizetype end = text.indexOf(u';', equals + 1);
        return text.mid(equals + 1, end - equals - 1);
    } catch (const std::exception &e) {
        logError(QStringLiteral("Get_Value"), QString::fromUtf8(e.what()));
        return {};
    }
}

bool frmOptions::Save_Changes()
{
    return trap(QStringLiteral("Save_Changes"), [&] {
        // Built aside and put in place only when it is whole, so a refused value or a failed write
        // leaves the browser's settings as they were.
        BrowserSettings next = browserSettings();
        next.ToolBarText = chkToolBarText->isChecked();
        next.ObjectToolTips = chkObjectToolTips->isChecked();
        next.ObjectToolTipFieldTypes = chkFieldTypes->isChecked();
        const std::optional<qint32> delay = settings::SettingsStore::toLong(txtObjectToolDelay->text());
        if (!delay || *delay < kMinToolDelay || *delay > kMaxToolDelay)
            throw std::invalid_argument(tr("The tooltip delay \"%1\" is not a whole number of seconds from %2 to %3.")
                                            .arg(txtObjectToolDelay->text())
                                            .arg(kMinToolDelay)
                                            .arg(kMaxToolDelay)
                                            .toStdString());
        next.ObjectToolDelay = *delay;
        next.ObjectToolTipSort = chkSortFields->isChecked();
        next.EditData = chkDataSource->isChecked();
        next.OpenTable = chkQueryView[0]->isChecked();
        next.OpenView = chkQueryView[1]->isChecked();
        next.OpenSp = chkQueryView[2]->isChecked();
        next.AdminPassword = chkPasswordAdmin->isChecked();
        next.DataPassword = chkPasswordData->isChecked();
        if (!next.AdminPassword && !next.DataPassword)
            next.Password.clear();
        next.OpenSQL = chkOpenSQL->isChecked();
        next.Options = chkOptions->isChecked();
        next.GridLines = chkGridLines->isChecked();
        next.SplitOrientation = optSplit[1]->isChecked();
        next.SplitLeft = chkLeft->isChecked();

        const BrowserSettings before = browserSettings();
        browserSettings() = next;
        // Each writer reports its own failure.
        if (!Write_INI() || !Save_Options()) {
            browserSettings() = before;
            return false;
        }
        cmdApply->setEnabled(false);
        return true;
    });
}

frmOptions::CommitResult frmOptions::commit()
{
    try {
        if (m_dataSourcesChanged) {
            // A file that could not be written keeps the table's edits for another try; nothing
            // else is saved, so the browser never re-reads an old file over them.
            if (!Save_DataSources())
                return CommitResult::DataSourcesFailed;
            m_savedTable = dataSources();
            Refresh_DataSources();
        }
        if (!Save_Changes())
            return CommitResult::SettingsFailed;
        if (m_calledFrom)
            m_calledFrom->Set_Options(m_optionsChanged, false, m_dataSourcesChanged);
        // The browser has read the saved file again, numbering its rows afresh: the grid follows,
        // so its rows keep naming the right data sources.
        m_savedTable = dataSources();
        if (m_dataSourcesChanged)
            Refresh_DataSources();
        cmdApply->setEnabled(false);
        cmdOK->setFocus();
        return CommitResult::Saved;
    } catch (const std::exception &e) {
        logError(QStringLiteral("cmdApply_Click"), QString::fromUtf8(e.what()));
        return CommitResult::SettingsFailed;
    }
}

void frmOptions::cmdApply_Click()
{
    commit();
}

void frmOptions::cmdOK_Click()
{
    // A data-source file that was not written keeps the dialog open; settings that were not
    // written leave Apply enabled, so the closing below asks about them.
    if (cmdApply->isEnabled() && commit() == CommitResult::DataSourcesFailed)
        return;
    if (queryClose())
        QDialog::accept();
}

void frmOptions::reject()
{
    if (queryClose())
        QDialog::reject();
}

bool frmOptions::queryClose()
{
    if (m_loaded && cmdApply->isEnabled()) {
        const ui::MsgResult answer = ui::Prompter::msgBox(tr("Save changes?"), ui::MsgButtons::YesNoCancel,
                                                          ui::MsgIcon::Question, windowTitle(), this);
        if (answer == ui::MsgResult::Cancel)
            return false;
        if (answer == ui::MsgResult::Yes && commit() != CommitResult::Saved)
            return false;
    }
    discardUnsaved();
    return true;
}

void frmOptions::discardUnsaved()
{
    if (m_haveSnapshot)
        dataSources() = m_savedTable;
}

int frmOptions::selectedTableRow() const
{
    const int r = grdDataSources->Row();
    if (r < grdDataSources->FixedRows() || r >= grdDataSources->Rows())
        return 0;
    bool ok = false;
    const int row = grdDataSources->TextMatrix(r, colID).toInt(&ok);
    if (!ok || row < 1 || row > kMaxDataSources || dataSources().rows[size_t(row)].ID.isEmpty())
        return 0;
    return row;
}

void frmOptions::cmdDataSource_Click(int index)
{
    trap(QStringLiteral("cmdDataSource_Click"), [&] { dataSourceCommand(index); }, [] { ui::MousePointer::setDefault(); });
}

void frmOptions::dataSourceCommand(int index)
{
    switch (index) {
    case 0:
    case 1: {
        const bool edit = index == 1;
        const int row = edit ? selectedTableRow() : 0;
        if (edit && row == 0)
            return; // nothing listed, or a source deleted since the dialog opened
        if (!New_DataSource(row, edit))
            return;
        Refresh_DataSources();
        cmdApply->setEnabled(true);
        m_optionsChanged = true;
        m_dataSourcesChanged = true;
        return;
    }
    case 2: {
        const int row = selectedTableRow();
        if (row == 0 || !Delete_DataSource(row))
            return;
        cmdApply->setEnabled(true);
        m_optionsChanged = true;
        m_dataSourcesChanged = true;
        return;
    }
    case 3:
        ui::MousePointer::setHourglass();
        Refresh_DataSources();
        ui::MousePointer::setDefault();
        return;
    default:
        return;
    }
}

void frmOptions::cmdPassword_Click()
{
    // A new password is saved by the password dialog itself; Apply has nothing to add.
    ui::MousePointer::setHourglass();
    frmPassword dlg(true, this);
    runDialog(dlg);
    ui::MousePointer::setDefault();
}

void frmOptions::optionChanged()
{
    cmdApply->setEnabled(true);
    m_optionsChanged = true;
}

void frmOptions::queryViewChanged()
{
    optionChanged();
    m_dataSourcesChanged = true; // the tree's folders follow these
}

void frmOptions::toolTipsChanged()
{
    optionChanged();
    const bool on = chkObjectToolTips->isChecked();
    chkFieldTypes->setEnabled(on);
    chkSortFields->setEnabled(on);
    txtObjectToolDelay->setEnabled(on);
}

void frmOptions::passwordBoxChanged()
{
    optionChanged();
    cmdPassword->setEnabled(chkPasswordData->isChecked() || chkPasswordAdmin->isChecked());
}

void frmOptions::tabOptions_Click(int newTab)
{
    if (m_switchingTab)
        return;
    const BrowserSettings &s = browserSettings();
    const bool guarded = (newTab == tabAdmin && s.AdminPassword) || (newTab == tabDataSources && s.DataPassword);
    if (guarded && !s.Password.isEmpty() && !m_passwordGiven) {
        auto show = [this](int tab) {
            m_switchingTab = true;
            tabOptions->setCurrentIndex(tab);
            m_switchingTab = false;
        };
        // The guarded page is not shown behind the password question.
        show(m_currentTab);
        // The "Admin" tab answers to its own flag, not to "Data Password".
        const bool given = newTab == tabAdmin ? checkPasswordFor(s.AdminPassword) : Check_AdminPassword();
        if (!given)
            return;
        m_passwordGiven = true;
        show(newTab);
    }
    m_currentTab = newTab;
}

void frmOptions::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    ui::MousePointer::setDefault();
    if (!load())
        QMetaObject::invokeMethod(this, [this] { QDialog::reject(); }, Qt::QueuedConnection);
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event)
{
    // Whole seconds only: digits and editing keys pass.
    if (watched == txtObjectToolDelay && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent *>(event)->text();
        if (text.size() == 1) {
            const char16_t code = text.at(0).unicode();
            if (code > 127 || (code >= 32 && code != 127 && Check_NumberKey(code, false) == 0))
                return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace browser
