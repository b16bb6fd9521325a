#include "store/ui_proc_config_desktop.h"

UI_Proc_Config_Desktop &UI_Proc_Config_Desktop::getInstance()
{
    static UI_Proc_Config_Desktop instance;
    return instance;
}
