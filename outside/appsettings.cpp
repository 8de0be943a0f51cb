#include "appsettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

#include <limits>

AppSettings::AppSettings() = default;

AppSettings::AppSettings(QSettings &backend)
    : m_backend(&backend)
{
}

AppSettings::~AppSettings()
{
    if (m_own)
        m_own->sync();
}

void AppSettings::setUp(QWidget *owner, const QString &appName, bool optionA, bool optionB)
{
    m_owner = owner;
    m_optionA = optionA;
    m_optionB = optionB;
    const QString name = appName.isEmpty() ? defaultAppName() : appName;
    if (name != m_appName && m_own) {
        m_own->sync();
        m_own.reset();
    }
    m_appName = name;
}

QSettings &AppSettings::backend() const
{
    if (m_backend)
        return *m_backend;
    if (!m_own) {
        const QString name = m_appName.isEmpty() ? defaultAppName() : m_appName;
        m_own = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, name, name);
    }
    return *m_own;
}

QVariant AppSettings::ReadValue(const QString &key, const QVariant &defaultValue) const
{
    if (!m_optionB)
        return defaultValue;
    return backend().value(key, defaultValue);
}

QString AppSettings::readString(const QString &key, const QString &defaultValue) const
{
    const QVariant value = ReadValue(key, defaultValue);
    return value.canConvert<QString>() ? value.toString() : defaultValue;
}

// A hand-edited store may hold anything; only a whole number that fits replaces the default.
static bool readWhole(const QVariant &value, qint64 &out)
{
    bool ok = false;
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray)
        out = value.toString().trimmed().toLongLong(&ok);
    else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        ok = false;
    else
        out = value.toLongLong(&ok);
    return ok;
}

qint32 AppSettings::readInt32(const QString &key, qint32 defaultValue) const
{
    qint64 n = 0;
    if (!readWhole(ReadValue(key, defaultValue), n) || n < std::numeric_limits<qint32>::min()
        || n > std::numeric_limits<qint32>::max())
        return defaultValue;
    return qint32(n);
}

qint16 AppSettings::readInt16(const QString &key, qint16 defaultValue) const
{
    qint64 n = 0;
    if (!readWhole(ReadValue(key, int(defaultValue)), n) || n < std::numeric_limits<qint16>::min()
        || n > std::numeric_limits<qint16>::max())
        return defaultValue;
    return qint16(n);
}

bool AppSettings::readBool(const QString &key, bool defaultValue) const
{
    const QVariant value = ReadValue(key, defaultValue);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return defaultValue;
}

QStringList AppSettings::readStringList(const QString &key) const
{
    // The native format keeps a list of one as a plain text.
    const QVariant value = ReadValue(key, QVariant());
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        return value.toStringList();
    const QString text = value.toString();
    return text.isEmpty() ? QStringList() : QStringList{text};
}

void AppSettings::WriteValue(const QString &key, const QVariant &value)
{
    if (!m_optionB)
        return;
    backend().setValue(key, value);
    if (m_optionA)
        backend().sync();
}

void AppSettings::sync()
{
    backend().sync();
}

QString AppSettings::fileName() const
{
    return backend().fileName();
}

QString AppSettings::defaultAppName()
{
    if (QCoreApplication::instance()) {
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        if (!name.isEmpty())
            return name;
    }
    return QStringLiteral("lumo");
}
