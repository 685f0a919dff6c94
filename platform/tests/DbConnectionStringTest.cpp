#include "db/ConnectionString.h"
#include "db/DbError.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <libpq-fe.h>

using db::ConnectionString;
using db::DbError;

namespace {

QString errorOf(const QString &text)
{
    try {
        ConnectionString::parse(text);
    } catch (const DbError &e) {
        return e.message();
    }
    return {};
}

} // namespace

TEST(ConnectionStringParse, ReadsEveryQuotingFormAndTrimsBlanks)
{
    const auto cs = ConnectionString::parse(
        QStringLiteral(" Provider = SQLite ;; Data Source=\"C:\\a;b \"\"x\"\".db\";User ID='O''Brien'; "
                       "Extra={a;b}}c=d} ;Empty=;"));
    ASSERT_EQ(cs.pairs().size(), 5u);
    EXPECT_EQ(cs.value(QStringLiteral("provider")), QStringLiteral("SQLite"));
    EXPECT_EQ(cs.value(QStringLiteral("DATA SOURCE")), QStringLiteral("C:\\a;b \"x\".db"));
    EXPECT_EQ(cs.value(QStringLiteral("user id")), QStringLiteral("O'Brien"));
    EXPECT_EQ(cs.value(QStringLiteral("extra")), QStringLiteral("a;b}c=d"));
    EXPECT_EQ(cs.value(QStringLiteral("Empty")), QString());
    EXPECT_FALSE(cs.value(QStringLiteral("Missing")).has_value());
    EXPECT_EQ(cs.value(QStringLiteral("Missing"), QStringLiteral("fallback")), QStringLiteral("fallback"));
    EXPECT_EQ(cs.pairs()[1].quote, QChar(u'"'));
    EXPECT_EQ(cs.pairs()[3].quote, QChar(u'{'));
    EXPECT_TRUE(cs.pairs()[0].quote.isNull());
}

TEST(ConnectionStringParse, MalformedTextNamesTheKeyOrPosition)
{
    EXPECT_TRUE(errorOf(QStringLiteral("Provider=SQLite;JustAWord;X=1")).contains(QStringLiteral("JustAWord")));
    EXPECT_TRUE(errorOf(QStringLiteral("Data Source=\"unclosed;X=1")).contains(QStringLiteral("Data Source")));
    EXPECT_TRUE(errorOf(QStringLiteral("Extra={never closed")).contains(QStringLiteral("Extra")));
    EXPECT_TRUE(errorOf(QStringLiteral("A='x' trailing;B=1")).contains(QStringLiteral("\"A\"")));
    EXPECT_TRUE(errorOf(QStringLiteral("=value")).contains(QStringLiteral("position")));
    EXPECT_TRUE(errorOf(QStringLiteral(" ; ;; ")).isEmpty());
}

TEST(ConnectionStringWrite, KeepsOrderAndQuotingAndRequotesWhenNeeded)
{
    auto cs = ConnectionString::parse(QStringLiteral("Provider=SQLite;Data Source='a b.db';Extra={x}}y}"));
    EXPECT_EQ(cs.toString(), QStringLiteral("Provider=SQLite;Data Source='a b.db';Extra={x}}y}"));

    cs.setValue(QStringLiteral("data source"), QStringLiteral("it's;here.db"));
    cs.setValue(QStringLiteral("Timeout"), QStringLiteral(" 5"));
    cs.setValue(QStringLiteral("Quoted"), QStringLiteral("\"already\""));
    const QString written = cs.toString();
    EXPECT_TRUE(written.startsWith(QStringLiteral("Provider=SQLite;Data Source='it''s;here.db';Extra=")));

    const auto back = ConnectionString::parse(written);
    ASSERT_EQ(back.pairs().size(), cs.pairs().size());
    for (std::size_t i = 0; i < back.pairs().size(); ++i) {
        EXPECT_EQ(back.pairs()[i].key, cs.pairs()[i].key);
        EXPECT_EQ(back.pairs()[i].value, cs.pairs()[i].value) << written.toStdString();
    }

    cs.remove(QStringLiteral("EXTRA"));
    EXPECT_FALSE(cs.value(QStringLiteral("Extra")).has_value());
}

TEST(ConnectionStringProvider, NamesAliasesAndOdbcByDsnOrDriver)
{
    auto provider = [](const char *text) { return ConnectionString::parse(QString::fromUtf8(text)).provider(); };
    EXPECT_EQ(provider("Data Source=x.db"), db::Provider::SQLite);
    EXPECT_EQ(provider("Provider=sqlite;Data Source=x.db"), db::Provider::SQLite);
    EXPECT_EQ(provider("Provider=PostgreSQL"), db::Provider::PostgreSQL);
    EXPECT_EQ(provider("Provider=postgres"), db::Provider::PostgreSQL);
    EXPECT_EQ(provider("provider=PGSQL"), db::Provider::PostgreSQL);
    EXPECT_EQ(provider("Provider=ODBC;DSN=x"), db::Provider::ODBC);
    EXPECT_EQ(provider("DSN=Sales"), db::Provider::ODBC);
    EXPECT_EQ(provider("Driver={SQLite3};Database=x.db"), db::Provider::ODBC);
    EXPECT_EQ(provider("Provider=SQLite;DSN=Sales"), db::Provider::SQLite);
    try {
        provider("Provider=Jet;Data Source=x.mdb");
        FAIL() << "an unknown provider was accepted";
    } catch (const DbError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unknown provider: Jet"));
    }
}

TEST(MaskPasswords, HidesPasswordAndPwdKeepingQuotesEvenInMalformedText)
{
    EXPECT_EQ(db::maskPasswords(QStringLiteral("User ID=bob;Password=s3cret;Port=5432")),
              QStringLiteral("User ID=bob;Password=****;Port=5432"));
    EXPECT_EQ(db::maskPasswords(QStringLiteral("pwd = 'a;b''c' ;x=1")), QStringLiteral("pwd = '****' ;x=1"));
    EXPECT_EQ(db::maskPasswords(QStringLiteral("DSN=x;PWD={p}}w;d};UID=u")), QStringLiteral("DSN=x;PWD={****};UID=u"));
    EXPECT_EQ(db::maskPasswords(QStringLiteral("PASSWORD=\"quoted \"\"one\"\"\"")), QStringLiteral("PASSWORD=\"****\""));
    // Malformed: an unclosed quote hides everything after it; a pair without '=' is left alone.
    EXPECT_EQ(db::maskPasswords(QStringLiteral("junk;Password='never closed;Port=1")), QStringLiteral("junk;Password='****"));
    // libpq keyword lists, as some messages quote them.
    EXPECT_FALSE(db::maskPasswords(QStringLiteral("host=h password=topsecret user=u")).contains(QStringLiteral("topsecret")));
    EXPECT_EQ(db::maskPasswords(QStringLiteral("PasswordHint=kept;Password=")), QStringLiteral("PasswordHint=kept;Password="));

    // Every keyword libpq itself shows masked (the provider passes them on), and those of newer
    // versions than the one installed.
    QStringList secrets = {QStringLiteral("sslpassword"), QStringLiteral("oauth_client_secret")};
    if (PQconninfoOption *options = PQconndefaults()) {
        for (PQconninfoOption *o = options; o->keyword; ++o) {
            if (o->dispchar && o->dispchar[0] == '*')
                secrets << QString::fromLatin1(o->keyword);
        }
        PQconninfoFree(options);
    }
    ASSERT_TRUE(secrets.contains(QStringLiteral("password")));
    for (const QString &key : secrets) {
        EXPECT_EQ(db::maskPasswords(QStringLiteral("Provider=PostgreSQL;%1=topsecret;Port=5432").arg(key)),
                  QStringLiteral("Provider=PostgreSQL;%1=****;Port=5432").arg(key));
        EXPECT_FALSE(db::maskPasswords(QStringLiteral("host=h %1 = 'top secret' user=u").arg(key.toUpper()))
                         .contains(QStringLiteral("secret'"))) << key.toStdString();
    }
}

TEST(MaskPasswords, FailsClosedOnLongAndMalformedValues)
{
    // Long values once made the pattern give up and come back whole.
    const QString secret = QStringLiteral("s3cr3t");
    for (const int length : {100, 40'000, 200'000}) {
        const QString body = secret + QString(length, u'x');
        const std::vector<QString> texts = {
            QStringLiteral("Password=\"") + body + QStringLiteral("\";Port=1"),
            QStringLiteral("PWD={") + body + QStringLiteral("};UID=u"),
            QStringLiteral("Password='") + body + QStringLiteral("'"),
            QStringLiteral("Password=\"") + body,           // never closed
            QStringLiteral("Password={") + body + u';',       // never closed
            QStringLiteral("Password=") + body,               // bare
        };
        for (const QString &text : texts) {
            const QString masked = db::maskPasswords(text);
            EXPECT_FALSE(masked.contains(secret)) << length << ": " << text.left(20).toStdString();
            EXPECT_LT(masked.size(), 40) << text.left(20).toStdString();
        }
    }
    // Text the parser rejects hides every value after the password key.
    EXPECT_EQ(db::maskPasswords(QStringLiteral("Password=\"a\"b\";UID=visible")), QStringLiteral("Password=\"****"));
    EXPECT_EQ(db::maskPasswords(QStringLiteral("Password=\"a\" trailing;X=1")), QStringLiteral("Password=\"****"));
    EXPECT_EQ(db::maskPasswords(QStringLiteral("junk;Password=plain;Port=1")), QStringLiteral("junk;Password=****"));
    // Blanks the parser trims away around the key are blanks here too.
    EXPECT_EQ(db::maskPasswords(QString::fromUtf8("Password\u00A0=hidden;X=1")), QString::fromUtf8("Password\u00A0=****;X=1"));
    EXPECT_EQ(db::maskPasswords(QString::fromUtf8("\u2003pwd=hidden")), QString::fromUtf8("\u2003pwd=****"));
    // Well-formed strings keep everything else.
    EXPECT_EQ(db::maskPasswords(QStringLiteral("A=1;Password={x};B='y'")), QStringLiteral("A=1;Password={****};B='y'"));
    EXPECT_EQ(db::maskPasswords(QStringLiteral("Old_Password=kept;MyPwd=kept")), QStringLiteral("Old_Password=kept;MyPwd=kept"));
}
