// A scripted stand-in for the converter, for tests and benchmarks. It runs a script of
// directives, one per argument or one per line of a script file:
//   print:TEXT        writes TEXT to standard error (\r, \n, \\ and \xHH escapes) and flushes
//   stdout:TEXT       the same on standard output
//   file:PATH         writes the whole file PATH to standard error
//   repeat:N:TEXT     writes TEXT N times in one write
//   sleep:MS          pauses
//   write             writes a small output file at the command's last argument
//   grow              writes the output file slowly, forever (until stopped)
//   ignoreterm        ignores SIGTERM from here on
//   spawn:MS          starts a child that keeps the console open for MS milliseconds, then
//                     carries on without waiting for it
//   hang              sleeps forever
//   crash             ends by SIGSEGV
//   exit:N            ends with code N (the default is 0)
// Started like the converter ("-i" SOURCE ... OUTPUT), it runs the script held in SOURCE and
// appends SOURCE to "invocations.log" beside itself. Otherwise its arguments are the script.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

std::string unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next == 'r')
            out += '\r';
        else if (next == 'n')
            out += '\n';
        else if (next == 'x' && i + 2 < text.size() + 1) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            out += next;
    }
    return out;
}

void writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void pause(long milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> script = args;
    std::string output = args.empty() ? std::string() : args.back();

    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] != "-i")
            continue;
        const std::string source = args[i + 1];
        std::string self = argv[0];
        const std::string folder = self.substr(0, self.find_last_of('/') + 1);
        std::ofstream(folder + "invocations.log", std::ios::app) << source << '\n';
        std::ifstream in(source);
        script.clear();
        for (std::string line; std::getline(in, line);)
            script.push_back(line);
        break;
    }

    int exitCode = 0;
    for (const std::string& step : script) {
        const std::size_t colon = step.find(':');
        const std::string verb = step.substr(0, colon);
        const std::string value = colon == std::string::npos ? std::string() : step.substr(colon + 1);
        if (verb == "print") {
            writeAll(2, unescape(value));
        } else if (verb == "stdout") {
            writeAll(1, unescape(value));
        } else if (verb == "file") {
            writeAll(2, readFile(value));
        } else if (verb == "repeat") {
            const std::size_t second = value.find(':');
            const long count = std::stol(value.substr(0, second));
            const std::string text = unescape(value.substr(second + 1));
            std::string all;
            for (long n = 0; n < count; ++n)
                all += text;
            writeAll(2, all);
        } else if (verb == "sleep") {
            pause(std::stol(value));
        } else if (verb == "write") {
            std::ofstream(output, std::ios::binary) << "converted\n";
        } else if (verb == "grow") {
            std::ofstream out(output, std::ios::binary);
            for (;;) {
                out << "partial\n" << std::flush;
                pause(20);
            }
        } else if (verb == "ignoreterm") {
            std::signal(SIGTERM, SIG_IGN);
        } else if (verb == "spawn") {
            if (::fork() == 0) {
                pause(std::stol(value));
                writeAll(2, "late child output\n");
                std::_Exit(0);
            }
        } else if (verb == "hang") {
            for (;;)
                pause(1000);
        } else if (verb == "crash") {
            // Dies by the signal itself, even when a sanitizer's handler would catch it and exit.
            std::signal(SIGSEGV, SIG_DFL);
            std::raise(SIGSEGV);
        } else if (verb == "exit") {
            exitCode = std::stoi(value);
        }
    }
    return exitCode;
}
