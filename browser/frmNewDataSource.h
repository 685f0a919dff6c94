#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace browser {

// The data-source dialog: a name, a description, a connection string (built with the connection
// builder below it or typed by hand) and the identifier delimiter.
class frmNewDataSource : public QDialog {
    Q_OBJECT

public:
    explicit frmNewDataSource(QWidget *parent = nullptr);

    bool Cancelled() const { return m_cancelled; }
    QString SourceName() const { return m_name; }
    void setSourceName(const QString &v) { m_name = v; }
    QString Description() const { return m_description; }
    void setDescription(const QString &v) { m_description = v; }
    QString Connection() const { return m_connection; }
    void setConnection(const QString &v) { m_connection = v; }
    QString Delimiter() const { return m_delimiter; }
    void setDelimiter(const QString &v) { m_delimiter = v; }

    // Fills the boxes from the properties; call after setting them.
    void load();

    // The connection builder's choices.
    enum BuilderProvider { SQLiteFile = 0, PostgreSQLServer = 1, OdbcSource = 2 };
    void setBuilderProvider(BuilderProvider provider);
    // The connection string the builder's fields describe.
    QString builtConnection() const;

    QLineEdit *txtName = nullptr;
    QLineEdit *txtDescription = nullptr;
    QLineEdit *txtConnection = nullptr;
    QComboBox *cboDelimiter = nullptr;
    QPushButton *cmdDataSource = nullptr;
    QPushButton *cmdTest = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

    QGroupBox *fraBuilder = nullptr;
    QComboBox *cboProvider = nullptr;
    QLineEdit *txtFile = nullptr;
    QPushButton *cmdBrowse = nullptr;
    QLineEdit *txtHost = nullptr;
    QLineEdit *txtPort = nullptr;
    QLineEdit *txtDatabase = nullptr;
    QLineEdit *txtUser = nullptr;
    QLineEdit *txtPassword = nullptr;
    QLineEdit *txtDsn = nullptr;
    QLineEdit *txtDriver = nullptr;

    // Opens the connection in the box and tells the user the database's answer. True when it opened.
    bool testConnection();
    // The connection string the box stands for: the box shows passwords as "****", and such a
    // value means the password the data source already had.
    QString typedConnection() const;
    // Puts the builder's string into the connection box.
    void useBuiltConnection();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateOK();
    void browseFile();
    void accept() override;
    void setDelimiterShown(const QString &delimiter);
    // The builder on the connection's own provider, its fields filled from the connection.
    void fillBuilder();

    QStackedWidget *m_stack = nullptr;
    bool m_cancelled = true;
    // False until the user picks a delimiter (or one was stored): until then it follows what the
    // connection's provider uses.
    bool m_delimiterChosen = false;
    QString m_name, m_description, m_connection, m_delimiter;
};

} // namespace browser
