#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <optional>

class QObject;
struct QMetaObject;

// Late-bound calls on the program's controls, as automation clients make them.
//
// Members are the object's Q_INVOKABLE methods and public slots, and its Q_PROPERTY properties.
// Names match without regard to case (an exact match is preferred). A method is chosen by the
// number of arguments given: trailing arguments with defaults may be left out (moc makes one
// meta-method per omittable tail), and among overloads of equal length the one whose parameter
// types the arguments fit best wins. Arguments convert through QVariant; an invalid QVariant
// passes the parameter type's empty value. A property is read when called with no argument and
// written when called with one.
//
// Dispatch identifiers are declared on the class with Q_CLASSINFO, one entry per member:
//     Q_CLASSINFO("DispId:stViewChart", "0x68030624")
//     Q_CLASSINFO("DispId:AboutBox", "-552")
// The value is hexadecimal with "0x" (read as a 32-bit pattern, so 0x80000000 and above are
// negative) or signed decimal. The member named may be a method or a property.
//
// Failures return false with a readable error (out-parameter and lastError()); unknown members
// give "member not found: <name>". An exception thrown by the called member is caught.
namespace automation {

PLATFORM_EXPORT bool callByName(QObject *object, const QString &name, const QVariantList &args = {},
                                QVariant *result = nullptr, QString *error = nullptr);
PLATFORM_EXPORT bool callById(QObject *object, long dispid, const QVariantList &args = {},
                              QVariant *result = nullptr, QString *error = nullptr);

PLATFORM_EXPORT bool getProperty(QObject *object, const QString &name, QVariant *value,
                                 QString *error = nullptr);
PLATFORM_EXPORT bool setProperty(QObject *object, const QString &name, const QVariant &value,
                                 QString *error = nullptr);
PLATFORM_EXPORT bool getPropertyById(QObject *object, long dispid, QVariant *value, QString *error = nullptr);
PLATFORM_EXPORT bool setPropertyById(QObject *object, long dispid, const QVariant &value,
                                     QString *error = nullptr);

// The member a class declares for a dispatch identifier (empty when none), and back.
PLATFORM_EXPORT QString memberForDispId(const QMetaObject *meta, long dispid);
PLATFORM_EXPORT std::optional<long> dispIdOf(const QMetaObject *meta, const QString &member);
// "0x68030624" or "-552" as a dispatch identifier.
PLATFORM_EXPORT std::optional<long> parseDispId(const QString &text);

// The error of the last failing call on this thread.
PLATFORM_EXPORT QString lastError();

} // namespace automation
