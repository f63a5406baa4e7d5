#include "fuzz/fuzz_input.h"
#include "intake/display_text.h"
#include "intake/staging.h"
#include "platform/single_byte_code_page.h"

#include <cstdlib>

// The display-text and staged-name rules on any path, through a code page that lacks characters.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const SingleByteCodePage codePage(SingleByteCodePage::Windows1252);
    static const QDateTime now(QDate(2026, 1, 2), QTime(3, 4, 5));
    const QString path = FuzzText(data, size);
    for (const QChar separator : {QLatin1Char('\\'), QLatin1Char('/')}) {
        const QString display = CleanDisplayText(path, codePage, separator);
        if (!codePage.canRepresent(display))
            std::abort();
        (void)FileNamePart(path, separator);
        const QString staged = StagedName(path, codePage, separator, now);
        if (staged.isEmpty() || staged.size() > 200 || staged.trimmed().isEmpty() ||
            !codePage.canRepresent(staged))
            std::abort();
        // A staged name is one plain name: no folder part, no extension of its own (the stager adds
        // ".tmp"), none of the nine characters a file name may not carry, so it is never "." or "..".
        for (const QChar c : staged) {
            if (c == QLatin1Char('.') || QStringView(u"/\\<>?\":*|").contains(c))
                std::abort();
        }
    }
    return 0;
}
