// The web view behind the update dialog's release notes, in a module loaded
// only when a dialog needs it.
#include <QUrl>
#include <QWebSettings>
#include <QWebView>

extern "C" Q_DECL_EXPORT QWidget* hwt_createReleaseNotesView(const QUrl& url, QWidget* parent)
{
    auto* view = new QWebView(parent);
    view->setObjectName(QStringLiteral("releaseNotes"));
    // Release notes are a page from the network: show it, run nothing from it.
    view->settings()->setAttribute(QWebSettings::JavascriptEnabled, false);
    view->settings()->setAttribute(QWebSettings::PluginsEnabled, false);
    view->setUrl(QUrl(QStringLiteral("about:blank")));
    if (!url.isEmpty())
        view->load(url);
    return view;
}
