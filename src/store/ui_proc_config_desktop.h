#pragma once

#include <QObject>

// The host's configuration singleton. The host emits loadDatabase() once its media-info
// store is ready to be read.
class UI_Proc_Config_Desktop : public QObject
{
    Q_OBJECT
public:
    static UI_Proc_Config_Desktop &getInstance();

signals:
    void loadDatabase();

private:
    UI_Proc_Config_Desktop() = default;
};
