#include "fuzz/fuzz_input.h"
#include "settings/settings_field_reader.h"

#include <QTemporaryDir>

#include <cstdlib>

// The field reader and both number rules on any file text; every field must be a piece of the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = FuzzText(data, size);
    const QStringList fields = ReadSettingsFields(text);
    qsizetype total = 0;
    for (const QString& field : fields) {
        if (!text.contains(field))
            std::abort();
        total += field.size();
        (void)WholeNumberOf(field);
        (void)NumericPrefixOf(field);
    }
    if (total > text.size())
        std::abort();
    return 0;
}
