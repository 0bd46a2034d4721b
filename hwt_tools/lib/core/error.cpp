#include "error.h"

#include <QDebug>

Error::Error(int code, const QString& message)
    : m_code(code)
    , m_message(message)
{
    qDebug().noquote() << "Throwing exception: " + message;
}
