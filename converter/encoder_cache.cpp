#include "converter/encoder_cache.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string cacheFilePath()
{
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    if (cacheHome != nullptr && cacheHome[0] == '/')
        return std::string(cacheHome) + "/trevalon/conv-encoder-rates";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.cache/trevalon/conv-encoder-rates";
    return {};
}

std::string formatRates(const EncoderRates& rates)
{
    std::string text;
    for (const int rate : rates.rates) {
        if (!text.empty())
            text += ',';
        text += std::to_string(rate);
    }
    return text.empty() ? "*" : text;
}

std::optional<EncoderRates> parseRates(const std::string& encoder, const std::string& text,
                                       const std::string& roomy)
{
    if (roomy.size() != 2 || (roomy[0] != '0' && roomy[0] != '1') ||
        (roomy[1] != '0' && roomy[1] != '1'))
        return std::nullopt;
    EncoderRates rates{encoder, {}, roomy[0] == '1', roomy[1] == '1'};
    if (text == "*")
        return rates;
    std::istringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        char* end = nullptr;
        const long rate = std::strtol(item.c_str(), &end, 10);
        if (end == item.c_str() || *end != '\0' || rate <= 0)
            return std::nullopt;
        rates.rates.push_back(static_cast<int>(rate));
    }
    return rates;
}

// The first line names the library files; the second is their stamp as it was when the answers
// were found.
std::string librariesLine(const std::vector<std::string>& files)
{
    std::string line = "libraries";
    for (const std::string& file : files)
        line += '\t' + file;
    return line;
}

std::vector<std::string> filesOf(const std::string& line)
{
    std::vector<std::string> files;
    std::istringstream fields(line);
    std::string field;
    if (!std::getline(fields, field, '\t') || field != "libraries")
        return {};
    while (std::getline(fields, field, '\t'))
        files.push_back(field);
    return files;
}

std::string identityOf(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return "-";
    std::ostringstream identity;
    identity << info.st_dev << ':' << info.st_ino << ':' << info.st_size << ':'
             << info.st_mtim.tv_sec << '.' << info.st_mtim.tv_nsec;
    return identity.str();
}

std::string stampLine(const std::vector<std::string>& files)
{
    std::string line = "stamp";
    for (const std::string& file : files)
        line += '\t' + identityOf(file);
    const char* searchPath = std::getenv("LD_LIBRARY_PATH");
    return line + '\t' + identityOf("/etc/ld.so.cache") + '\t' +
           (searchPath != nullptr ? searchPath : "");
}

// Names that a line of the file cannot carry are not cached.
bool fitsInLine(const std::string& text)
{
    return text.find_first_of("\t\n") == std::string::npos;
}

// Whether a cached line is about a program as it is now. Each program (the converter, the
// system's ffmpeg, another installation's converter) keeps its own lines, so conversions through
// one do not throw out the answers of another.
bool stillCurrent(const std::string& line)
{
    const std::string identity = line.substr(0, line.find('\t'));
    std::size_t end = identity.size();
    for (int field = 0; field < 3 && end != std::string::npos && end > 0; ++field)
        end = identity.rfind(':', end - 1);
    return end != std::string::npos && end > 0 &&
           programIdentity(identity.substr(0, end)) == identity;
}

} // namespace

std::string programIdentity(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return {};
    std::ostringstream identity;
    identity << path << ':' << info.st_ino << ':' << info.st_size << ':' << info.st_mtim.tv_sec
             << '.' << info.st_mtim.tv_nsec;
    return identity.str();
}

std::optional<EncoderRates> readCachedRates(const std::string& key)
{
    std::ifstream file(cacheFilePath());
    std::string libraries, stamp, line;
    if (!std::getline(file, libraries) || !std::getline(file, stamp))
        return std::nullopt;
    const std::vector<std::string> files = filesOf(libraries);
    if (files.empty() || stamp != stampLine(files))
        return std::nullopt;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string identity, selector, encoder, rates, channels;
        if (std::getline(fields, identity, '\t') && std::getline(fields, selector, '\t') &&
            std::getline(fields, encoder, '\t') && std::getline(fields, rates, '\t') &&
            std::getline(fields, channels) && identity + '\t' + selector == key) {
            if (auto parsed = parseRates(encoder, rates, channels))
                return parsed;
        }
    }
    return std::nullopt;
}

// Adds an entry by writing a complete new file and renaming it over the old one, so concurrent
// conversions never see a half-written cache.
void cacheRates(const std::string& key, const EncoderRates& rates,
                const std::vector<std::string>& libraryFiles)
{
    const std::string path = cacheFilePath();
    if (path.empty() || libraryFiles.empty() || !fitsInLine(rates.encoder) ||
        std::count(key.begin(), key.end(), '\t') != 1 || key.find('\n') != std::string::npos)
        return;
    for (const std::string& file : libraryFiles) {
        if (file.empty() || !fitsInLine(file))
            return;
    }
    const std::string header = librariesLine(libraryFiles) + '\n' + stampLine(libraryFiles) + '\n';
    const std::string folder = path.substr(0, path.rfind('/'));
    mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    // Entries of other library files, or of a program that changed or is gone (an older
    // installation), are dropped; those of the other programs stay.
    std::string previous;
    {
        std::ifstream file(path);
        std::string libraries, stamp, line;
        if (std::getline(file, libraries) && std::getline(file, stamp) &&
            libraries + '\n' + stamp + '\n' == header) {
            while (std::getline(file, line)) {
                if (line.rfind(key + '\t', 0) != 0 && stillCurrent(line))
                    previous += line + '\n';
            }
        }
    }
    const std::string temporary = path + '.' + std::to_string(getpid());
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << header << previous << key << '\t' << rates.encoder << '\t' << formatRates(rates)
             << '\t' << (rates.anyRate ? '1' : '0') << (rates.anyChannels ? '1' : '0') << '\n';
        if (!file)
            return (void)unlink(temporary.c_str());
    }
    if (rename(temporary.c_str(), path.c_str()) != 0)
        unlink(temporary.c_str());
}
