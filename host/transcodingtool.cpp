#include "transcode/ui_proc_transcodingtool_desktop.h"

UI_Proc_TranscodingTool_Desktop::UI_Proc_TranscodingTool_Desktop(QObject *parent, int)
    : QObject(parent)
{ }

QString UI_Proc_TranscodingTool_Desktop::transcodeOne(const QString &, const QString &,
                                                      const QString &, int, int, int, int, int, int)
{
    return {};
}

void UI_Proc_TranscodingTool_Desktop::stopOne(const QString &) { }
