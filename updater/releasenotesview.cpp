#include "releasenotesview.h"

#include "weburl.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QTextBrowser>
#include <QUrl>

namespace {
using CreateFunction = QWidget* (*)(const QUrl&, QWidget*);

CreateFunction webViewFactory()
{
    static CreateFunction factory = [] {
        const QString appDir = QCoreApplication::applicationDirPath();
        // Beside the program in a build tree, in lib/hullwright when installed.
        QStringList candidates{appDir + QStringLiteral("/hwt_releasenotes"),
                               appDir + QStringLiteral("/../lib/hullwright/hwt_releasenotes")};
#ifdef HWT_RELEASENOTES_BUILD_DIR
        candidates << QStringLiteral(HWT_RELEASENOTES_BUILD_DIR "/hwt_releasenotes");
#endif
        for (const QString& candidate : qAsConst(candidates)) {
            QLibrary library(candidate);
            library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
            if (auto create = reinterpret_cast<CreateFunction>(library.resolve("hwt_createReleaseNotesView")))
                return create;  // the module stays loaded for the rest of the process
        }
        return CreateFunction(nullptr);
    }();
    return factory;
}
}

namespace ReleaseNotesView {

QWidget* create(const QUrl& url, QWidget* parent)
{
    // The module loads whatever it is given: only web pages reach it.
    const QUrl page = isWebUrl(url) ? url : QUrl();
    if (CreateFunction factory = webViewFactory())
        return factory(page, parent);
    auto* browser = new QTextBrowser(parent);
    browser->setObjectName(QStringLiteral("releaseNotes"));
    browser->setOpenExternalLinks(true);
    if (!page.isEmpty()) {
        browser->setHtml(QCoreApplication::translate("ReleaseNotesView", "<p>Read the release notes at <a href=\"%1\">%1</a>.</p>")
                             .arg(page.toString().toHtmlEscaped()));
    }
    return browser;
}

}
