#include "converter/stream_map.h"

std::optional<StreamMap> readStreamMap(const std::string& text)
{
    StreamMap map;
    map.text = text;
    std::string rest = text;
    if (!rest.empty() && rest.back() == '?') {
        map.optional = true;
        rest.pop_back();
    }
    if (rest.rfind("0:", 0) != 0)
        return std::nullopt;
    rest.erase(0, 2);
    if (rest == "a" || rest == "v") {
        map.kind = rest == "a" ? StreamMap::Kind::Audio : StreamMap::Kind::Video;
        return map;
    }
    if (rest.rfind("a:", 0) == 0) {
        map.kind = StreamMap::Kind::NthAudio;
        rest.erase(0, 2);
    }
    // At most nine digits, so that the number always fits.
    if (rest.empty() || rest.size() > 9 ||
        rest.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    map.number = std::stoi(rest);
    return map;
}
