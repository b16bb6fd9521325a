#pragma once

#include <QObject>
#include <QTextStream>

// Stands where the page's message box would: what the library shows there goes to
// standard error.
class MessageBox : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString informText MEMBER informText)
    Q_PROPERTY(bool visible READ isVisible WRITE setVisible)
public:
    bool isVisible() const { return false; }
    void setVisible(bool visible)
    {
        if (visible)
            QTextStream(stderr) << informText << Qt::endl;
    }

private:
    QString informText;
};
