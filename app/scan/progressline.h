#pragma once

#include <QObject>
#include <QTextStream>

class UI_Proc_SignalCustomFolder_Desktop;

// One line on standard error that says how far the loads have come, written over at every
// announcement of the facade's progress; ended with a new line when this goes.
class ProgressLine : public QObject
{
    Q_OBJECT
public:
    explicit ProgressLine(UI_Proc_SignalCustomFolder_Desktop &facade);
    ~ProgressLine() override;

private:
    void show();

    UI_Proc_SignalCustomFolder_Desktop &facade;
    QTextStream err;
    int shownLength = 0; // of the line written last, which a shorter one must cover
};
