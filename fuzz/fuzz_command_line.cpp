#include "engine/command_line.h"
#include "fuzz/fuzz_input.h"

#include <cstdlib>
#include <cstring>

// The command builder on any source path and output folder with any picker positions: the argument
// vector must carry the source whole, and the text must hold it between quotes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 12)
        return 0;
    ConversionSettings settings;
    settings.formatIndex = static_cast<std::int16_t>(static_cast<std::int8_t>(data[0]) % 13);
    settings.bitrateIndex = static_cast<std::int16_t>(static_cast<std::int8_t>(data[1]) % 15);
    settings.rateIndex = static_cast<std::int16_t>(static_cast<std::int8_t>(data[2]) % 10);
    settings.channelIndex = static_cast<std::int16_t>(static_cast<std::int8_t>(data[3]) % 3);
    settings.cutterOn = data[4] & 1;
    std::int32_t numbers[2];
    std::memcpy(numbers, data + 4, sizeof numbers); // bytes 4 to 11
    settings.cutStart = numbers[0];
    settings.cutLength = numbers[1];
    settings.cutStartFraction = numbers[1] >> 3;
    settings.cutLengthFraction = numbers[0] >> 5;
    const auto [source, folder] = FuzzTextPair(data + 12, size - 12);
    settings.outputFolder = folder;

    for (const PathStyle& style : {PathStyle::windows(), PathStyle::native()}) {
        const QString text = BuildCommandLine(QStringLiteral("/p"), source, settings, style);
        const ConverterInvocation invocation =
            BuildConverterInvocation(QStringLiteral("/p"), source, settings, style);
        if (text.isEmpty() != invocation.isEmpty())
            std::abort();
        if (text.isEmpty())
            continue;
        if (invocation.arguments.size() < 5 || invocation.arguments.at(3) != source ||
            invocation.arguments.last() != invocation.outputPath ||
            !text.contains(QLatin1Char('"') + source + QLatin1Char('"')) ||
            !text.endsWith(QLatin1Char('"') + invocation.outputPath + QLatin1Char('"')))
            std::abort();
    }
    return 0;
}
