#include "crashhandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#if defined(Q_OS_LINUX)
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Everything the handler needs is prepared before a crash: it may not
// allocate, lock or call into Qt.
char s_directory[1024];
char s_application[128];
char s_version[64];
void* s_frames[128];
char s_alternateStack[64 * 1024];
volatile sig_atomic_t s_handling = 0;
bool s_installed = false;
const int s_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// A fixed-size line buffer filled without allocating.
struct Line
{
    char text[1536];
    size_t size = 0;

    void add(const char* s)
    {
        while (*s && size < sizeof(text))
            text[size++] = *s++;
    }
    void addNumber(unsigned long long value, unsigned base = 10)
    {
        char digits[32];
        int count = 0;
        do {
            const unsigned digit = unsigned(value % base);
            digits[count++] = char(digit < 10 ? '0' + digit : 'a' + digit - 10);
            value /= base;
        } while (value && count < int(sizeof(digits)));
        while (count > 0 && size < sizeof(text))
            text[size++] = digits[--count];
    }
    void terminate()
    {
        if (size == sizeof(text))
            --size;
        text[size] = '\0';
    }
};

void writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0)
            return;
        data += written;
        size -= size_t(written);
    }
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

void writeLog(int signal, const siginfo_t* info)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const pid_t pid = getpid();

    Line path;
    path.add(s_directory);
    path.add("/crash-");
    path.addNumber((unsigned long long)now.tv_sec);
    path.add("-");
    path.addNumber((unsigned long long)pid);
    path.add(".log");
    path.terminate();
    const int fd = ::open(path.text, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;

    Line header;
    header.add(s_application);
    header.add(" ");
    header.add(s_version);
    header.add(" crashed\nSignal: ");
    header.addNumber((unsigned long long)signal);
    header.add(" (");
    header.add(signalName(signal));
    header.add(")\n");
    if (info && (signal == SIGSEGV || signal == SIGBUS)) {
        header.add("Address: 0x");
        header.addNumber((unsigned long long)(uintptr_t)info->si_addr, 16);
        header.add("\n");
    }
    header.add("Time: ");
    header.addNumber((unsigned long long)now.tv_sec);
    header.add(" (seconds since 1970-01-01 UTC)\nProcess: ");
    header.addNumber((unsigned long long)pid);
    header.add("\nBacktrace:\n");
    writeAll(fd, header.text, header.size);

    const int frames = backtrace(s_frames, int(sizeof(s_frames) / sizeof(s_frames[0])));
    backtrace_symbols_fd(s_frames, frames, fd);
    ::close(fd);
}

void handleCrash(int signal, siginfo_t* info, void*)
{
    if (!s_handling) {
        s_handling = 1;
        writeLog(signal, info);
    }
    // Let the signal end the process as it would have without us.
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

void copyInto(char* target, size_t size, const QByteArray& text)
{
    const size_t count = qMin(size - 1, size_t(text.size()));
    std::memcpy(target, text.constData(), count);
    target[count] = '\0';
}
}

namespace CrashHandler {

bool isSupported()
{
    return true;
}

bool install(const QString& directory)
{
    const QByteArray encoded = QFile::encodeName(QDir(directory).absolutePath());
    if (encoded.isEmpty() || size_t(encoded.size()) >= sizeof(s_directory) - 64 || !QDir().mkpath(directory))
        return false;
    copyInto(s_directory, sizeof(s_directory), encoded);
    copyInto(s_application, sizeof(s_application), QCoreApplication::applicationName().toUtf8());
    copyInto(s_version, sizeof(s_version), QCoreApplication::applicationVersion().toUtf8());
    if (s_installed)
        return true;

    // The first backtrace() may load libgcc; do that now rather than in the handler.
    backtrace(s_frames, 1);

    // A stack overflow leaves no stack to run the handler on.
    stack_t stack{};
    stack.ss_sp = s_alternateStack;
    stack.ss_size = sizeof(s_alternateStack);
    sigaltstack(&stack, nullptr);

    struct sigaction action{};
    action.sa_sigaction = handleCrash;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : s_signals)
        sigaction(signal, &action, nullptr);
    s_installed = true;
    return true;
}

}

#else

namespace CrashHandler {

bool isSupported()
{
    return false;
}

bool install(const QString&)
{
    return false;
}

}

#endif

namespace CrashHandler {

QString defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/crashlogs");
}

QString fileNamePattern()
{
    return QStringLiteral("crash-*.log");
}

}
