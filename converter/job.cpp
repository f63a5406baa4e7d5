#include "converter/job.h"

#include <cstdlib>

namespace {

bool plainNumber(const std::string& text, bool fraction)
{
    if (text.empty() || text == ".")
        return false;
    int dots = 0;
    for (const char c : text) {
        if (c == '.' && fraction)
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots <= 1;
}

std::optional<double> seconds(const std::string& text)
{
    if (!plainNumber(text, true))
        return std::nullopt;
    return std::strtod(text.c_str(), nullptr);
}

std::optional<int> count(const std::string& text)
{
    if (!plainNumber(text, false) || text.size() > 7)
        return std::nullopt;
    const int value = std::atoi(text.c_str());
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

// The trim the fit makes of a cut when it keeps a cover.
bool readTrim(const std::string& text, Job& job)
{
    const std::string head = "atrim=";
    const std::string tail = ",asetpts=PTS-STARTPTS";
    if (text.rfind(head, 0) != 0 || text.size() < head.size() + tail.size() ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    std::string rest = text.substr(head.size(), text.size() - head.size() - tail.size());
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string item = rest.substr(0, colon);
        rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos)
            return false;
        const std::string key = item.substr(0, equals);
        const auto value = seconds(item.substr(equals + 1));
        if (!value)
            return false;
        if (key == "start")
            job.start = value;
        else if (key == "duration")
            job.length = value;
        else
            return false;
    }
    return true;
}

} // namespace

std::optional<Job> parseJob(const Arguments& arguments, std::string& error)
{
    Job job;
    std::size_t i = 0;
    const auto refuse = [&](const std::string& why) {
        error = why + " (conv takes only the command lines the program builds)";
        return std::nullopt;
    };
    if (arguments.size() >= 2 && arguments[0] == "-threads") {
        if (!count(arguments[1]))
            return refuse("unexpected thread count '" + arguments[1] + "'");
        i = 2;
    }
    if (i + 1 >= arguments.size() || arguments[i] != "-i" || arguments[i + 1].empty())
        return refuse("expected -i and the source");
    job.input = arguments[i + 1];
    i += 2;
    if (i >= arguments.size())
        return refuse("no output named");
    job.output = arguments.back();
    if (job.output.empty() || job.output[0] == '-')
        return refuse("no output named");

    bool copyAll = false;
    bool noVideo = false;
    for (const std::size_t last = arguments.size() - 1; i < last; ++i) {
        const std::string& option = arguments[i];
        if (option == "-y") {
            job.overwrite = true;
            continue;
        }
        if (option == "-vn") {
            noVideo = true;
            continue;
        }
        if (i + 1 >= last)
            return refuse("unexpected argument '" + option + "'");
        const std::string& value = arguments[++i];
        if (option == "-ss" || option == "-t") {
            const auto number = seconds(value);
            if (!number)
                return refuse("unexpected time '" + value + "' for " + option);
            (option == "-ss" ? job.start : job.length) = number;
        } else if (option == "-ab") {
            job.bitrate = bitrateBitsPerSecond(value);
            if (job.bitrate <= 0)
                return refuse("unexpected bitrate '" + value + "'");
        } else if (option == "-q:a") {
            if (!plainNumber(value, false) || value.size() > 2)
                return refuse("unexpected quality '" + value + "'");
            job.quality = std::atoi(value.c_str());
        } else if (option == "-ar" || option == "-ac") {
            const auto number = count(value);
            if (!number)
                return refuse("unexpected value '" + value + "' for " + option);
            (option == "-ar" ? job.rate : job.channels) = *number;
        } else if (option == "-acodec") {
            job.codec = value;
        } else if (option == "-f") {
            job.format = value;
        } else if (const auto map = option == "-map" ? readStreamMap(value) : std::nullopt) {
            job.maps.push_back(*map);
        } else if (option == "-c" && value == "copy") {
            copyAll = true;
        } else if (option == "-c:v" && value == "copy") {
            job.copyPictures = true;
        } else if (option == "-af" && readTrim(value, job)) {
        } else {
            return refuse("unexpected argument '" + option + " " + value + "'");
        }
    }
    if (copyAll) {
        // A copy takes no shaping of the audio and is never cut.
        if (!job.codec.empty() || job.bitrate != 0 || job.quality || job.rate != 0 ||
            job.channels != 0 || job.start || job.length || noVideo)
            return refuse("a copy with switches that change the audio");
        job.copy = true;
    }
    if (!job.maps.empty() && noVideo && !job.copy) {
        // A map names the streams; "-vn" beside it would drop the picture the map keeps.
        for (const StreamMap& map : job.maps) {
            if (map.kind == StreamMap::Kind::Video)
                return refuse("a picture mapped and dropped at once");
        }
    }
    return job;
}
