#pragma once

#include <QMetaObject>
#include <QString>

// One kind of document the application edits, and the window class that edits it.
struct DocumentType
{
    QString progId;
    QString description;
    QString extension;  // with its leading dot, e.g. ".hws"
    QString iconName;
    bool openable = false;
    bool saveable = false;
    QMetaObject windowClass;  // a GMainWindow subclass with an invokable default constructor
};
