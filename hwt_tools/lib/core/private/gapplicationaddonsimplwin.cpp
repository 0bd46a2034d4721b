#include "gapplicationaddonsimplwin.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QWidget>

#include <qt_windows.h>
#include <dde.h>

namespace {

class Win32ShellPlatform final : public DdeShellPlatform
{
public:
    QString applicationFilePath() const override { return QCoreApplication::applicationFilePath(); }

    bool writeClassesValue(const QString& key, const QString& valueName, const QString& value) override
    {
        const QString path = QStringLiteral("Software\\Classes\\") + key;
        HKEY handle = nullptr;
        m_lastError = RegCreateKeyW(HKEY_CURRENT_USER, reinterpret_cast<LPCWSTR>(path.utf16()), &handle);
        if (m_lastError != ERROR_SUCCESS)
            return false;
        const LPCWSTR name = valueName.isEmpty() ? nullptr : reinterpret_cast<LPCWSTR>(valueName.utf16());
        m_lastError = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.utf16()),
                                     DWORD((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(handle);
        return m_lastError == ERROR_SUCCESS;
    }

    QString lastErrorText() const override
    {
        wchar_t* buffer = nullptr;
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                                | FORMAT_MESSAGE_IGNORE_INSERTS,
                                            nullptr, DWORD(m_lastError), 0, reinterpret_cast<LPWSTR>(&buffer), 0,
                                            nullptr);
        const QString text = QString::fromWCharArray(buffer, int(length)).trimmed();
        LocalFree(buffer);
        return text;
    }

    bool readClassesRootDefault(const QString& key, QString* value) const override
    {
        wchar_t buffer[MAX_PATH] = {};
        LONG size = sizeof(buffer);
        if (RegQueryValueW(HKEY_CLASSES_ROOT, reinterpret_cast<LPCWSTR>(key.utf16()), buffer, &size)
            != ERROR_SUCCESS)
            return false;
        *value = QString::fromWCharArray(buffer);
        return true;
    }

    quint16 addAtom(const QString& name) override
    {
        return GlobalAddAtomW(reinterpret_cast<LPCWSTR>(name.utf16()));
    }

    QString atomName(quint16 atom) const override
    {
        wchar_t buffer[256] = {};
        const UINT length = GlobalGetAtomNameW(atom, buffer, 256);
        return QString::fromWCharArray(buffer, int(length));
    }

    void deleteAtom(quint16 atom) override { GlobalDeleteAtom(atom); }

    void sendInitiateAck(quintptr client, quint16 application, quint16 topic) override
    {
        SendMessageA(reinterpret_cast<HWND>(client), WM_DDE_ACK, WPARAM(window()), MAKELPARAM(application, topic));
    }

    QString executeCommandText(quintptr lParam, quintptr* commandHandle) override
    {
        UINT_PTR low = 0;
        UINT_PTR high = 0;
        UnpackDDElParam(WM_DDE_EXECUTE, LPARAM(lParam), &low, &high);
        *commandHandle = high;
        const auto* text = static_cast<const wchar_t*>(GlobalLock(reinterpret_cast<HGLOBAL>(high)));
        const QString command = text ? QString::fromWCharArray(text) : QString();
        GlobalUnlock(reinterpret_cast<HGLOBAL>(high));
        return command;
    }

    void postExecuteAck(quintptr client, quintptr lParam, quintptr commandHandle) override
    {
        PostMessageW(reinterpret_cast<HWND>(client), WM_DDE_ACK, WPARAM(window()),
                     ReuseDDElParam(LPARAM(lParam), WM_DDE_EXECUTE, WM_DDE_ACK, 0x8000, commandHandle));
    }

    void postTerminate(quintptr client, quintptr lParam) override
    {
        PostMessageW(reinterpret_cast<HWND>(client), WM_DDE_TERMINATE, WPARAM(window()), LPARAM(lParam));
    }

private:
    // The hidden window that sends every reply; created when first needed.
    HWND window()
    {
        if (!m_window)
            m_window = std::make_unique<QWidget>();
        return reinterpret_cast<HWND>(m_window->winId());
    }

    std::unique_ptr<QWidget> m_window;
    mutable LONG m_lastError = ERROR_SUCCESS;
};

// Routes the exchange's messages to the application's facade.
class DdeEventFilter final : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        GApplicationAddons* addons = GApplicationAddons::instance();
        if (!addons)
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        GApplicationAddons::DdeMessage dde;
        dde.wParam = quintptr(msg->wParam);
        dde.lParam = quintptr(msg->lParam);
        qintptr answer = 0;
        bool handled = false;
        switch (msg->message) {
        case WM_DDE_INITIATE:
            handled = addons->onDdeInitiate(dde, &answer);
            break;
        case WM_DDE_EXECUTE:
            handled = addons->onDdeExecute(dde, &answer);
            break;
        case WM_DDE_TERMINATE:
            handled = addons->onDdeTerminate(dde, &answer);
            break;
        default:
            return false;
        }
        if (handled && result)
            *result = long(answer);
        return handled;
    }
};

}

GApplicationAddonsImplWin::GApplicationAddonsImplWin()
    : DdeShellIntegration(std::make_unique<Win32ShellPlatform>())
{
}

GApplicationAddonsImplWin::~GApplicationAddonsImplWin()
{
    if (m_filter && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(m_filter.get());
}

void GApplicationAddonsImplWin::enableDde()
{
    DdeShellIntegration::enableDde();
    if (!m_filter && QCoreApplication::instance()) {
        m_filter = std::make_unique<DdeEventFilter>();
        QCoreApplication::instance()->installNativeEventFilter(m_filter.get());
    }
}
