#pragma once
// Per-user settings of one window: typed values under the program's name.
//
// The real store is QSettings in the user's configuration folder, named after the
// executable's base name (organisation and application both that name, native format:
// ~/.config/lumo/lumo.conf). Tests hand in their own backend, for instance a QSettings
// on a temporary INI file.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <memory>

class QSettings;

class AppSettings
{
public:
    // The real store, opened under the name setUp gives (or defaultAppName() on first use).
    AppSettings();
    // A given backend (tests); setUp records its arguments but keeps this backend.
    explicit AppSettings(QSettings &backend);
    ~AppSettings();
    AppSettings(const AppSettings &) = delete;
    AppSettings &operator=(const AppSettings &) = delete;

    // owner = the window; appName = the executable's base name (empty: defaultAppName()).
    // optionA: every WriteValue is written to disk at once.
    // optionB: the window reads and writes settings; false (the viewer) makes ReadValue
    // answer the default and WriteValue do nothing.
    void setUp(QWidget *owner, const QString &appName, bool optionA, bool optionB);

    // The stored value, or defaultValue when the key has none.
    QVariant ReadValue(const QString &key, const QVariant &defaultValue) const;
    // Typed reads: a stored value that is not a whole number, or does not fit, yields the
    // default.
    QString readString(const QString &key, const QString &defaultValue) const;
    qint32 readInt32(const QString &key, qint32 defaultValue) const;
    qint16 readInt16(const QString &key, qint16 defaultValue) const;
    // true or false in any letter case, or 1 or 0; anything else yields the default.
    bool readBool(const QString &key, bool defaultValue) const;
    // A list of texts; a single text is a list of one, an empty text none.
    QStringList readStringList(const QString &key) const;

    // A later ReadValue of the key returns the value, also in a later run.
    void WriteValue(const QString &key, const QVariant &value);

    // Writes pending changes to disk.
    void sync();

    QWidget *owner() const { return m_owner; }
    QString appName() const { return m_appName; }
    bool optionA() const { return m_optionA; }
    bool optionB() const { return m_optionB; }
    // The file behind the settings.
    QString fileName() const;

    // The executable's file name without extension ("lumo").
    static QString defaultAppName();

private:
    QSettings &backend() const;

    mutable std::unique_ptr<QSettings> m_own;
    QSettings *m_backend = nullptr;
    QPointer<QWidget> m_owner;
    QString m_appName;
    bool m_optionA = false;
    bool m_optionB = true;
};
