#include "gapplicationaddonsimpl.h"

#include <QRegularExpression>

namespace {
// The whole text must match: '$' alone would also accept a final line break.
QRegularExpressionMatch matchWhole(const QRegularExpression& expression, const QString& text)
{
    QRegularExpressionMatch match = expression.match(text);
    return match.hasMatch() && match.capturedLength(0) == text.size() ? match : QRegularExpressionMatch();
}
}

GApplicationAddonsImpl::~GApplicationAddonsImpl() = default;

bool GApplicationAddonsImpl::registerFileType(const QString&, const QString&, const QString&, const QString&, int,
                                              bool, int)
{
    return true;
}

void GApplicationAddonsImpl::enableDde()
{
}

bool GApplicationAddonsImpl::forwardOpenRequests(const QStringList&)
{
    return false;
}

bool GApplicationAddonsImpl::onDdeInitiate(const DdeMessage&, qintptr*)
{
    return false;
}

bool GApplicationAddonsImpl::onDdeExecute(const DdeMessage&, qintptr*)
{
    return false;
}

bool GApplicationAddonsImpl::onDdeTerminate(const DdeMessage&, qintptr*)
{
    return false;
}

void GApplicationAddonsImpl::executeCommand(const QString& command, const QString& argument)
{
    static const QRegularExpression quoted(QStringLiteral("^\"(.*)\"$"));
    const QRegularExpressionMatch match = matchWhole(quoted, argument);
    if (command.compare(QLatin1String("open"), Qt::CaseInsensitive) == 0 && match.hasMatch()) {
        if (m_addons)
            m_addons->openShellFile(match.captured(1));
        return;
    }
    if ((command.compare(QLatin1String("new"), Qt::CaseInsensitive) == 0
         || command.compare(QLatin1String("print"), Qt::CaseInsensitive) == 0)
        && match.hasMatch())
        return;
    unknownCommand(command, argument);
}

void GApplicationAddonsImpl::executeRequest(const QString& request)
{
    static const QRegularExpression grammar(QStringLiteral("^\\[(\\w+)\\((.*)\\)\\]$"));
    const QRegularExpressionMatch match = matchWhole(grammar, request);
    if (match.hasMatch())
        executeCommand(match.captured(1), match.captured(2));
}

void GApplicationAddonsImpl::unknownCommand(const QString&, const QString&)
{
}
