#include "frmNewDataSource.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "db/Connection.h"
#include "db/ConnectionString.h"
#include "ui/CommonDialog.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

namespace browser {

namespace {

// Every provider quotes names with the double quote unless its driver says otherwise, which only
// an open connection tells (the Test button asks it).
const QString kProviderDelimiter = QStringLiteral("\"");

bool isPasswordKey(const QString &key)
{
    const QString k = key.trimmed();
    return k.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0
        || k.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0;
}

// The value of the first pair, in the string's order, whose key is one of `keys` (lower case):
// the client takes the first of a key and its aliases.
QString firstOf(const db::ConnectionString &cs, std::initializer_list<QLatin1String> keys)
{
    for (const auto &pair : cs.pairs()) {
        const QString key = pair.key.trimmed().toLower();
        if (std::find(keys.begin(), keys.end(), key) != keys.end())
            return pair.value;
    }
    return {};
}

// `text` with every "****" password put back to the one `stored` has: the boxes show passwords
// masked, and a mask left as it was means the password the data source already had.
QString unmasked(const QString &text, const QString &stored)
{
    try {
        db::ConnectionString typed = db::ConnectionString::parse(text);
        const db::ConnectionString before = db::ConnectionString::parse(stored);
        bool masked = false;
        for (const auto &pair : typed.pairs()) {
            if (isPasswordKey(pair.key) && pair.value == QLatin1String("****")) {
                if (const auto old = before.value(pair.key)) {
                    typed.setValue(pair.key, *old);
                    masked = true;
                }
            }
        }
        return masked ? typed.toString() : text;
    } catch (const std::exception &) {
        return text; // the database will say what is wrong with it
    }
}

QLineEdit *lineEdit(QWidget *parent, const QString &name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

} // namespace

frmNewDataSource::frmNewDataSource(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("New Data Source"));
    auto *form = new QFormLayout;
    txtName = lineEdit(this, QStringLiteral("txtName"));
    txtDescription = lineEdit(this, QStringLiteral("txtDescription"));
    txtConnection = lineEdit(this, QStringLiteral("txtConnection"));
    txtConnection->setToolTip(tr("Connection string"));
    cboDelimiter = new QComboBox(this);
    cboDelimiter->setObjectName(QStringLiteral("cboDelimiter"));
    cboDelimiter->setEditable(true);
    form->addRow(tr("Name"), txtName);
    form->addRow(tr("Description"), txtDescription);
    form->addRow(tr("Connection"), txtConnection);
    form->addRow(tr("Delimiter"), cboDelimiter);

    cmdDataSource = new QPushButton(tr("C&onnection"), this);
    cmdDataSource->setToolTip(tr("Build the connection string"));
    cmdDataSource->setCheckable(true);
    cmdTest = new QPushButton(tr("&Test"), this);
    cmdTest->setToolTip(tr("Open the connection and show the database's answer"));

    // The builder: one page of fields per provider.
    fraBuilder = new QGroupBox(tr("Build the connection"), this);
    cboProvider = new QComboBox(fraBuilder);
    cboProvider->addItems({tr("SQLite file"), tr("PostgreSQL server"), tr("ODBC data source")});
    m_stack = new QStackedWidget(fraBuilder);

    auto *sqlitePage = new QWidget;
    auto *sqliteRow = new QHBoxLayout(sqlitePage);
    txtFile = lineEdit(sqlitePage, QStringLiteral("txtFile"));
    cmdBrowse = new QPushButton(tr("&Browse..."), sqlitePage);
    sqliteRow->addWidget(txtFile);
    sqliteRow->addWidget(cmdBrowse);
    m_stack->addWidget(sqlitePage);

    auto *pgPage = new QWidget;
    auto *pgForm = new QFormLayout(pgPage);
    txtHost = lineEdit(pgPage, QStringLiteral("txtHost"));
    txtPort = lineEdit(pgPage, QStringLiteral("txtPort"));
    txtPort->setValidator(new QIntValidator(1, 65535, txtPort));
    txtDatabase = lineEdit(pgPage, QStringLiteral("txtDatabase"));
    txtUser = lineEdit(pgPage, QStringLiteral("txtUser"));
    txtPassword = lineEdit(pgPage, QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    pgForm->addRow(tr("Host"), txtHost);
    pgForm->addRow(tr("Port"), txtPort);
    pgForm->addRow(tr("Database"), txtDatabase);
    pgForm->addRow(tr("User"), txtUser);
    pgForm->addRow(tr("Password"), txtPassword);
    m_stack->addWidget(pgPage);

    auto *odbcPage = new QWidget;
    auto *odbcForm = new QFormLayout(odbcPage);
    txtDsn = lineEdit(odbcPage, QStringLiteral("txtDsn"));
    txtDriver = lineEdit(odbcPage, QStringLiteral("txtDriver"));
    txtDriver->setToolTip(tr("Used when no data source name is given, e.g. Driver=SQLite3;Database=/path/file.db"));
    odbcForm->addRow(tr("Data source name"), txtDsn);
    odbcForm->addRow(tr("Driver string"), txtDriver);
    m_stack->addWidget(odbcPage);

    auto *useButton = new QPushButton(tr("&Use"), fraBuilder);
    useButton->setToolTip(tr("Put the built connection string into the Connection box"));
    auto *builderLayout = new QVBoxLayout(fraBuilder);
    builderLayout->addWidget(cboProvider);
    builderLayout->addWidget(m_stack);
    builderLayout->addWidget(useButton, 0, Qt::AlignRight);
    fraBuilder->setVisible(false);

    cmdOK = new QPushButton(tr("&OK"), this);
    cmdOK->setToolTip(tr("Save changes and exit"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(tr("&Cancel"), this);
    cmdCancel->setToolTip(tr("Exit without saving changes"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdDataSource);
    buttons->addWidget(cmdTest);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(fraBuilder);
    layout->addLayout(buttons);

    connect(cmdDataSource, &QPushButton::toggled, fraBuilder, &QWidget::setVisible);
    connect(cboProvider, qOverload<int>(&QComboBox::currentIndexChanged), m_stack, &QStackedWidget::setCurrentIndex);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmNewDataSource::browseFile);
    connect(useButton, &QPushButton::clicked, this, &frmNewDataSource::useBuiltConnection);
    connect(cmdTest, &QPushButton::clicked, this, [this] { testConnection(); });
    connect(cmdOK, &QPushButton::clicked, this, &frmNewDataSource::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(txtName, &QLineEdit::textChanged, this, &frmNewDataSource::updateOK);
    connect(txtConnection, &QLineEdit::textChanged, this, &frmNewDataSource::updateOK);
    connect(cboDelimiter, &QComboBox::editTextChanged, this, [this](const QString &text) {
        if (text.size() > 1)
            cboDelimiter->setEditText(text.left(1)); // one character quotes identifiers
    });
    connect(cboDelimiter, qOverload<int>(&QComboBox::activated), this, [this] { m_delimiterChosen = true; });
    connect(cboDelimiter->lineEdit(), &QLineEdit::textEdited, this, [this] { m_delimiterChosen = true; });
    updateOK();
}

void frmNewDataSource::load()
{
    m_cancelled = true;
    // Passwords never show; typedConnection() puts them back.
    txtConnection->setText(db::maskPasswords(m_connection));
    txtName->setText(m_name);
    txtDescription->setText(m_description);
    cboDelimiter->clear();
    cboDelimiter->addItem(QStringLiteral("\""));
    cboDelimiter->addItem(QStringLiteral("`"));
    if (!m_delimiter.isEmpty() && m_delimiter != QStringLiteral("\"") && m_delimiter != QStringLiteral("`"))
        cboDelimiter->addItem(m_delimiter);
    // A source without a stored delimiter gets its provider's, not a backquote that PostgreSQL
    // and most ODBC drivers refuse.
    m_delimiterChosen = !m_delimiter.isEmpty();
    setDelimiterShown(m_delimiterChosen ? m_delimiter : kProviderDelimiter);
    fillBuilder();
    updateOK();
}

void frmNewDataSource::fillBuilder()
{
    for (QLineEdit *box : {txtFile, txtHost, txtPort, txtDatabase, txtUser, txtPassword, txtDsn, txtDriver})
        box->clear();
    setBuilderProvider(SQLiteFile);
    db::ConnectionString cs;
    db::Provider provider = db::Provider::SQLite;
    try {
        cs = db::ConnectionString::parse(m_connection);
        provider = cs.provider();
    } catch (const std::exception &) {
        return; // nothing the builder can show; the connection box holds the text as it is
    }
    switch (provider) {
    case db::Provider::PostgreSQL:
        // The names the client takes for each field, as it takes them.
        setBuilderProvider(PostgreSQLServer);
        txtHost->setText(firstOf(cs, {QLatin1String("data source"), QLatin1String("server"), QLatin1String("host")}));
        txtPort->setText(firstOf(cs, {QLatin1String("port")}));
        txtDatabase->setText(firstOf(cs, {QLatin1String("initial catalog"), QLatin1String("database"),
                                          QLatin1String("dbname")}));
        txtUser->setText(firstOf(cs, {QLatin1String("user id"), QLatin1String("uid"), QLatin1String("user")}));
        txtPassword->setText(firstOf(cs, {QLatin1String("password"), QLatin1String("pwd")}));
        break;
    case db::Provider::ODBC: {
        setBuilderProvider(OdbcSource);
        cs.remove(QStringLiteral("Provider"));
        // A data source name alone fits its box; anything more stays whole in the driver string,
        // its passwords masked as in the connection box.
        const QString dsn = firstOf(cs, {QLatin1String("dsn")});
        if (!dsn.isEmpty() && cs.pairs().size() == 1)
            txtDsn->setText(dsn);
        else
            txtDriver->setText(db::maskPasswords(cs.toString()));
        break;
    }
    case db::Provider::SQLite:
        txtFile->setText(firstOf(cs, {QLatin1String("data source"), QLatin1String("database")}));
        break;
    }
}

void frmNewDataSource::setDelimiterShown(const QString &delimiter)
{
    const int index = cboDelimiter->findText(delimiter);
    if (index >= 0)
        cboDelimiter->setCurrentIndex(index);
    else
        cboDelimiter->setEditText(delimiter);
}

QString frmNewDataSource::typedConnection() const
{
    const QString shown = txtConnection->text();
    if (shown == db::maskPasswords(m_connection))
        return m_connection;
    return unmasked(shown, m_connection);
}

void frmNewDataSource::showEvent(QShowEvent *event)
{
    ui::MousePointer::setDefault();
    if (!m_name.isEmpty())
        setWindowTitle(tr("Edit Data Source"));
    QDialog::showEvent(event);
}

void frmNewDataSource::updateOK()
{
    // Whether built or typed, a source needs both a name and something to connect with.
    cmdOK->setEnabled(!txtName->text().trimmed().isEmpty() && !txtConnection->text().trimmed().isEmpty());
}

void frmNewDataSource::setBuilderProvider(BuilderProvider provider)
{
    cboProvider->setCurrentIndex(int(provider));
}

QString frmNewDataSource::builtConnection() const
{
    db::ConnectionString cs;
    auto put = [&cs](const char *key, const QString &value) {
        if (!value.trimmed().isEmpty())
            cs.setValue(QString::fromLatin1(key), value.trimmed());
    };
    switch (cboProvider->currentIndex()) {
    case PostgreSQLServer:
        cs.setValue(QStringLiteral("Provider"), QStringLiteral("PostgreSQL"));
        put("Data Source", txtHost->text());
        put("Port", txtPort->text());
        put("Initial Catalog", txtDatabase->text());
        put("User ID", txtUser->text());
        if (!txtPassword->text().isEmpty())
            cs.setValue(QStringLiteral("Password"), txtPassword->text());
        return cs.toString();
    case OdbcSource:
        if (!txtDsn->text().trimmed().isEmpty()) {
            cs.setValue(QStringLiteral("Provider"), QStringLiteral("ODBC"));
            put("DSN", txtDsn->text());
            return cs.toString();
        }
        if (txtDriver->text().trimmed().isEmpty())
            return {};
        // The driver string goes on as the user wrote it.
        return QStringLiteral("Provider=ODBC;") + txtDriver->text().trimmed();
    default:
        if (txtFile->text().trimmed().isEmpty())
            return {};
        cs.setValue(QStringLiteral("Provider"), QStringLiteral("SQLite"));
        put("Data Source", txtFile->text());
        return cs.toString();
    }
}

void frmNewDataSource::useBuiltConnection()
{
    const QString built = unmasked(builtConnection(), m_connection);
    if (built.isEmpty())
        return;
    m_connection = built;
    txtConnection->setText(db::maskPasswords(built));
    txtName->setFocus();
}

void frmNewDataSource::browseFile()
{
    ui::FileDialogRequest request;
    request.title = tr("SQLite Database");
    request.filter = tr("SQLite databases (*.db;*.sqlite;*.sqlite3)|*.db;*.sqlite;*.sqlite3|All files (*.*)|*.*");
    request.fileName = txtFile->text();
    if (auto choice = ui::CommonDialog::showOpen(request, this))
        txtFile->setText(choice->fileName);
}

bool frmNewDataSource::testConnection()
{
    const QString text = typedConnection().trimmed();
    const QString title = tr("Test Connection");
    if (text.isEmpty()) {
        ui::Prompter::msgBox(tr("There is no connection string to test."), ui::MsgButtons::OK,
                             ui::MsgIcon::Exclamation, title, this);
        return false;
    }
    try {
        ui::MousePointer::setHourglass();
        auto cn = db::Connection::create();
        cn->Open(text);
        const QString version = cn->Version();
        // The driver knows how it quotes names; take its word unless the user chose.
        if (!m_delimiterChosen)
            setDelimiterShown(QString(cn->DefaultDelimiter()));
        cn->Close();
        ui::MousePointer::setDefault();
        ui::Prompter::msgBox(tr("The connection opened.\n%1").arg(version), ui::MsgButtons::OK,
                             ui::MsgIcon::Information, title, this);
        return true;
    } catch (const std::exception &e) {
        ui::MousePointer::setDefault();
        ui::Prompter::msgBox(tr("The connection failed:\n%1").arg(db::maskPasswords(QString::fromUtf8(e.what()))),
                             ui::MsgButtons::OK, ui::MsgIcon::Critical, title, this);
        return false;
    }
}

void frmNewDataSource::accept()
{
    if (!cmdOK->isEnabled())
        return;
    m_cancelled = false;
    m_name = txtName->text();
    m_connection = typedConnection();
    m_description = txtDescription->text();
    m_delimiter = cboDelimiter->currentText().left(1);
    QDialog::accept();
}

} // namespace browser
