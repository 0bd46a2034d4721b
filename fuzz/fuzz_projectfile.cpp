// Reads arbitrary bytes as a project file. Any outcome but a normal return or
// an Error (a crash, a hang, runaway memory) is a bug in the reader. A file
// that reads is also written and read again, which must succeed.

#include "elementlistmodel.h"
#include "error.h"
#include "projectinput.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString input = ProjectInput::write(data, size);
    const QString output = ProjectInput::path(QStringLiteral("output.hws"));

    int rows = -1;
    {
        ElementListModel document;
        try {
            if (document.load(input)) {
                rows = document.rowCount();
                if (!document.save(output))
                    std::abort();
            }
        } catch (const Error&) {
            // Rejecting the input is a correct outcome.
        }
    }
    if (rows >= 0) {
        ElementListModel again;
        try {
            if (!again.load(output) || again.rowCount() != rows)
                std::abort();
        } catch (const Error&) {
            // What we wrote ourselves must read back.
            std::abort();
        }
    }
    return 0;
}
