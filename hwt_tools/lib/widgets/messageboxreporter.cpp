#include "messageboxreporter.h"

#include <QMessageBox>

void MessageBoxReporter::report(Severity severity, const QString& title, const QString& text, QObject* context)
{
    QMessageBox::Icon icon = QMessageBox::Critical;
    if (severity == Information)
        icon = QMessageBox::Information;
    else if (severity == Warning)
        icon = QMessageBox::Warning;
    QMessageBox box(icon, title, text, QMessageBox::Ok, qobject_cast<QWidget*>(context));
    box.exec();
}
