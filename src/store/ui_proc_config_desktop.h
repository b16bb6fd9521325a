#pragma once

#include <QObject>
#include <QVariantMap>

// The host's configuration singleton. The host emits loadDatabase() once its media-info
// store is ready to be read, and keeps the values that tune the library by key.
class UI_Proc_Config_Desktop : public QObject
{
    Q_OBJECT
public:
    static UI_Proc_Config_Desktop &getInstance();

    QVariant value(const QString &key, const QVariant &defaultValue = {}) const;
    void setValue(const QString &key, const QVariant &value);

signals:
    void loadDatabase();

private:
    UI_Proc_Config_Desktop() = default;

    QVariantMap values;
};

// Where the media-info store keeps its records: a PostgreSQL URL in libpq's form or the path
// of a SQLite file, either shared by several consoles; empty or unset for the SQLite file in
// the project directory.
inline const QString kMediaInfoStoreKey = QStringLiteral("mediaInfo/store");
