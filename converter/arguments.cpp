#include "converter/arguments.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

std::optional<OptionValue> lastOptionValue(const Arguments& arguments,
                                           const std::vector<std::string>& names)
{
    std::optional<OptionValue> found;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (std::find(names.begin(), names.end(), arguments[i]) != names.end()) {
            found = OptionValue{i, arguments[i + 1]};
            ++i;
        }
    }
    return found;
}

std::optional<OptionValue> outputOption(const Arguments& arguments,
                                        const std::vector<std::string>& names)
{
    const auto input = lastOptionValue(arguments, {"-i"});
    const auto option = lastOptionValue(arguments, names);
    if (!input || !option || option->index < input->index)
        return std::nullopt;
    return option;
}

std::string outputPathOf(const Arguments& arguments)
{
    if (arguments.size() < 3 || !lastOptionValue(arguments, {"-i"}))
        return {};
    const std::string& last = arguments.back();
    if (last.empty() || last == "-" || last.rfind("pipe:", 0) == 0)
        return {};
    // The last argument is the output only when it is not the value of the last "-i" itself.
    if (lastOptionValue(arguments, {"-i"})->index + 1 == arguments.size() - 1)
        return {};
    return last;
}

bool endsWithIgnoringCase(const std::string& text, const std::string& suffix)
{
    if (text.size() < suffix.size())
        return false;
    return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

int nearestRate(int requested, const std::vector<int>& supported)
{
    int best = requested;
    long bestDistance = -1;
    for (const int rate : supported) {
        const long distance = std::labs(static_cast<long>(rate) - requested);
        if (bestDistance < 0 || distance < bestDistance ||
            (distance == bestDistance && rate > best)) {
            best = rate;
            bestDistance = distance;
        }
    }
    return best;
}

long bitrateBitsPerSecond(const std::string& text)
{
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || number <= 0)
        return 0;
    const std::string suffix(end);
    double factor = 1;
    if (suffix == "k" || suffix == "K")
        factor = 1000;
    else if (suffix == "M")
        factor = 1000000;
    else if (!suffix.empty())
        return 0;
    return static_cast<long>(number * factor + 0.5);
}

Arguments pcmDecodeArguments(const Arguments& arguments)
{
    // Switches that shape only the encoded output; the PCM for the AMR encoder is fixed instead.
    static const std::set<std::string> encodingSwitches = {
        "-ab", "-b:a", "-ar", "-ar:a", "-ac", "-ac:a", "-acodec", "-c:a", "-codec:a", "-f"};
    Arguments decode;
    const std::size_t inputIndex = lastOptionValue(arguments, {"-i"})->index;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (i > inputIndex + 1 && encodingSwitches.count(arguments[i]) &&
            i + 2 < arguments.size()) {
            ++i;
            continue;
        }
        decode.push_back(arguments[i]);
    }
    for (const char* argument :
         {"-ar", "8000", "-ac", "1", "-acodec", "pcm_s16le", "-f", "s16le", "pipe:1"})
        decode.emplace_back(argument);
    return decode;
}
