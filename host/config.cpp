#include "store/ui_proc_config_desktop.h"

UI_Proc_Config_Desktop &UI_Proc_Config_Desktop::getInstance()
{
    static UI_Proc_Config_Desktop instance;
    return instance;
}

QVariant UI_Proc_Config_Desktop::value(const QString &key, const QVariant &defaultValue) const
{
    return values.value(key, defaultValue);
}

void UI_Proc_Config_Desktop::setValue(const QString &key, const QVariant &value)
{
    values.insert(key, value);
}
