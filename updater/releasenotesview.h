#pragma once

class QUrl;
class QWidget;

// The view that shows an update's release notes. The web view lives in a
// module of its own, loaded when a dialog first needs it, so that every start
// of the editor does not pay for loading a web engine. Without the module the
// notes are offered as a link.
namespace ReleaseNotesView {

// A view (object name "releaseNotes") showing the page at `url` when it is an
// http or https address, blank otherwise.
QWidget* create(const QUrl& url, QWidget* parent);

}
