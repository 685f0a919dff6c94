#include "automation/Automation.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QMetaProperty>
#include <QObject>

#include <exception>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace automation {

namespace {

thread_local QString t_lastError;

bool fail(QString *error, const QString &text)
{
    t_lastError = text;
    if (error)
        *error = text;
    return false;
}

bool succeed(QString *error)
{
    t_lastError.clear();
    if (error)
        error->clear();
    return true;
}

bool sameName(const QByteArray &metaName, const QString &name, bool exact)
{
    const QString n = QString::fromLatin1(metaName);
    return n.compare(name, exact ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

std::vector<QMetaMethod> methodsNamed(const QMetaObject *meta, const QString &name)
{
    std::vector<QMetaMethod> found;
    for (bool exact : {true, false}) {
        for (int i = 0; i < meta->methodCount(); ++i) {
            const QMetaMethod m = meta->method(i);
            if (m.access() != QMetaMethod::Public)
                continue;
            if (m.methodType() != QMetaMethod::Method && m.methodType() != QMetaMethod::Slot)
                continue;
            if (sameName(m.name(), name, exact))
                found.push_back(m);
        }
        if (!found.empty())
            break;
    }
    return found;
}

std::optional<QMetaProperty> propertyNamed(const QMetaObject *meta, const QString &name)
{
    const int exact = meta->indexOfProperty(name.toLatin1().constData());
    if (exact >= 0)
        return meta->property(exact);
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (sameName(QByteArray(p.name()), name, false))
            return p;
    }
    return std::nullopt;
}

// How well the arguments fit a method's parameters; -1 when one cannot be converted.
int fitness(const QMetaMethod &method, const QVariantList &args)
{
    int score = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QMetaType target = method.parameterMetaType(i);
        const QVariant &arg = args.at(i);
        if (!target.isValid())
            return -1;
        if (target == QMetaType::fromType<QVariant>())
            score += 2;
        else if (arg.metaType() == target)
            score += 3;
        else if (!arg.isValid() || QMetaType::canConvert(arg.metaType(), target))
            score += 1;
        else
            return -1;
    }
    return score;
}

bool invoke(QObject *object, const QMetaMethod &method, const QVariantList &args, QVariant *result,
            QString *error, const QString &shownName)
{
    const int count = method.parameterCount();
    std::vector<QVariant> storage(static_cast<std::size_t>(count));
    std::vector<void *> argv(static_cast<std::size_t>(count) + 1, nullptr);

    for (int i = 0; i < count; ++i) {
        const QMetaType target = method.parameterMetaType(i);
        QVariant &slot = storage[std::size_t(i)];
        if (target == QMetaType::fromType<QVariant>()) {
            slot = args.at(i);
            argv[std::size_t(i) + 1] = &slot;
            continue;
        }
        if (!args.at(i).isValid()) {
            slot = QVariant(target);
        } else {
            slot = args.at(i);
            if (slot.metaType() != target && !slot.convert(target))
                return fail(error, QStringLiteral("type mismatch: argument %1 of %2").arg(i + 1).arg(shownName));
        }
        argv[std::size_t(i) + 1] = slot.data();
    }

    const QMetaType returnType = method.returnMetaType();
    QVariant returned;
    const bool returnsVariant = returnType == QMetaType::fromType<QVariant>();
    const bool returnsValue = returnType.isValid() && returnType.id() != QMetaType::Void;
    if (returnsValue && !returnsVariant) {
        returned = QVariant(returnType);
        argv[0] = returned.data();
    } else if (returnsVariant) {
        argv[0] = &returned;
    }

    try {
        QMetaObject::metacall(object, QMetaObject::InvokeMetaMethod, method.methodIndex(), argv.data());
    } catch (const std::exception &e) {
        return fail(error, QStringLiteral("%1 failed: %2").arg(shownName, QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return fail(error, QStringLiteral("%1 failed").arg(shownName));
    }
    if (result)
        *result = returnsValue ? returned : QVariant();
    return succeed(error);
}

bool readProperty(QObject *object, const QMetaProperty &property, QVariant *value, QString *error)
{
    if (!property.isReadable())
        return fail(error, QStringLiteral("property is write-only: %1").arg(QLatin1String(property.name())));
    try {
        const QVariant v = property.read(object);
        if (value)
            *value = v;
    } catch (...) {
        return fail(error, QStringLiteral("%1 could not be read").arg(QLatin1String(property.name())));
    }
    return succeed(error);
}

bool writeProperty(QObject *object, const QMetaProperty &property, const QVariant &value, QString *error)
{
    const QString name = QLatin1String(property.name());
    if (!property.isWritable())
        return fail(error, QStringLiteral("property is read-only: %1").arg(name));
    try {
        if (!property.write(object, value))
            return fail(error, QStringLiteral("type mismatch: value of %1").arg(name));
    } catch (const std::exception &e) {
        return fail(error, QStringLiteral("%1 could not be set: %2").arg(name, QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return fail(error, QStringLiteral("%1 could not be set").arg(name));
    }
    return succeed(error);
}

using DispTable = std::vector<std::pair<long, QString>>;

const DispTable &dispTable(const QMetaObject *meta)
{
    static std::mutex mutex;
    static std::unordered_map<const QMetaObject *, DispTable> tables;
    std::lock_guard lock(mutex);
    auto it = tables.find(meta);
    if (it != tables.end())
        return it->second;
    DispTable table;
    static const QLatin1String prefix("DispId:");
    for (int i = 0; i < meta->classInfoCount(); ++i) {
        const QMetaClassInfo info = meta->classInfo(i);
        const QString key = QString::fromLatin1(info.name());
        if (!key.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        if (const auto id = parseDispId(QString::fromLatin1(info.value())))
            table.emplace_back(*id, key.mid(prefix.size()).trimmed());
    }
    return tables.emplace(meta, std::move(table)).first->second;
}

QString dispIdText(long dispid)
{
    if (dispid < 0)
        return QString::number(dispid);
    return QStringLiteral("0x") + QString::number(quint32(dispid), 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

std::optional<QString> resolveId(QObject *object, long dispid, QString *error)
{
    if (!object) {
        fail(error, QStringLiteral("no object to call"));
        return std::nullopt;
    }
    const QString name = memberForDispId(object->metaObject(), dispid);
    if (name.isEmpty()) {
        fail(error, QStringLiteral("member not found: dispid %1").arg(dispIdText(dispid)));
        return std::nullopt;
    }
    return name;
}

} // namespace

std::optional<long> parseDispId(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) || t.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        const qulonglong bits = t.mid(2).toULongLong(&ok, 16);
        if (!ok || bits > 0xFFFFFFFFULL)
            return std::nullopt;
        return long(qint32(quint32(bits)));
    }
    const qlonglong value = t.toLongLong(&ok, 10);
    if (!ok || value < qlonglong(INT32_MIN) || value > qlonglong(INT32_MAX))
        return std::nullopt;
    return long(value);
}

QString memberForDispId(const QMetaObject *meta, long dispid)
{
    if (!meta)
        return {};
    const DispTable &table = dispTable(meta);
    // A subclass's declaration comes later in the list and overrides its base's.
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (it->first == dispid)
            return it->second;
    }
    return {};
}

std::optional<long> dispIdOf(const QMetaObject *meta, const QString &member)
{
    if (!meta)
        return std::nullopt;
    const DispTable &table = dispTable(meta);
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (it->second.compare(member, Qt::CaseInsensitive) == 0)
            return it->first;
    }
    return std::nullopt;
}

bool callByName(QObject *object, const QString &name, const QVariantList &args, QVariant *result, QString *error)
{
    try {
        if (!object)
            return fail(error, QStringLiteral("no object to call"));
        const QMetaObject *meta = object->metaObject();
        const std::vector<QMetaMethod> methods = methodsNamed(meta, name);

        const QMetaMethod *best = nullptr;
        int bestScore = -1;
        bool countMatched = false;
        for (const QMetaMethod &m : methods) {
            if (m.parameterCount() != args.size())
                continue;
            countMatched = true;
            const int score = fitness(m, args);
            if (score > bestScore) {
                bestScore = score;
                best = &m;
            }
        }
        if (best)
            return invoke(object, *best, args, result, error, QString::fromLatin1(best->name()));

        if (const auto property = propertyNamed(meta, name)) {
            if (args.isEmpty())
                return readProperty(object, *property, result, error);
            if (args.size() == 1) {
                if (result)
                    *result = QVariant();
                return writeProperty(object, *property, args.first(), error);
            }
            return fail(error, QStringLiteral("wrong number of arguments: %1").arg(QLatin1String(property->name())));
        }
        if (countMatched)
            return fail(error, QStringLiteral("type mismatch: %1").arg(QString::fromLatin1(methods.front().name())));
        if (!methods.empty())
            return fail(error, QStringLiteral("wrong number of arguments: %1").arg(QString::fromLatin1(methods.front().name())));
        return fail(error, QStringLiteral("member not found: %1").arg(name));
    } catch (...) {
        return fail(error, QStringLiteral("%1 failed").arg(name));
    }
}

bool callById(QObject *object, long dispid, const QVariantList &args, QVariant *result, QString *error)
{
    const auto name = resolveId(object, dispid, error);
    return name && callByName(object, *name, args, result, error);
}

bool getProperty(QObject *object, const QString &name, QVariant *value, QString *error)
{
    if (!object)
        return fail(error, QStringLiteral("no object to call"));
    const auto property = propertyNamed(object->metaObject(), name);
    if (!property)
        return fail(error, QStringLiteral("member not found: %1").arg(name));
    return readProperty(object, *property, value, error);
}

bool setProperty(QObject *object, const QString &name, const QVariant &value, QString *error)
{
    if (!object)
        return fail(error, QStringLiteral("no object to call"));
    const auto property = propertyNamed(object->metaObject(), name);
    if (!property)
        return fail(error, QStringLiteral("member not found: %1").arg(name));
    return writeProperty(object, *property, value, error);
}

bool getPropertyById(QObject *object, long dispid, QVariant *value, QString *error)
{
    const auto name = resolveId(object, dispid, error);
    return name && getProperty(object, *name, value, error);
}

bool setPropertyById(QObject *object, long dispid, const QVariant &value, QString *error)
{
    const auto name = resolveId(object, dispid, error);
    return name && setProperty(object, *name, value, error);
}

QString lastError()
{
    return t_lastError;
}

} // namespace automation
