#include "converter/loudness_run.h"

#include "converter/gated_loudness.h"
#include "converter/loudness_tags.h"

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr double TargetLoudness = -18.0;
constexpr double PeakCeiling = -1.0; // dBTP
// The limiter works on four times the rate, where its sample peaks come close to the true peaks;
// a little headroom covers what remains between them.
constexpr double LimiterLevel = -1.2;

std::string decibels(double value, const char* format = "%+.2f")
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

double toDecibels(double linear)
{
    return linear > 0 ? 20.0 * std::log10(linear) : -HUGE_VAL;
}

void insertBeforeOutput(Arguments& arguments, const Arguments& options)
{
    arguments.insert(arguments.end() - 1, options.begin(), options.end());
}

} // namespace

LoudnessRun::LoudnessRun(Arguments& arguments, Report report) : m_report(std::move(report))
{
    if (arguments.size() < 2 || arguments[0] != "-loudness")
        return;
    const std::string choice = arguments[1];
    arguments.erase(arguments.begin(), arguments.begin() + 2);
    if (choice == "tag")
        m_mode = LoudnessMode::Tag;
    else if (choice == "apply")
        m_mode = LoudnessMode::Apply;
    else if (choice == "measure")
        m_mode = LoudnessMode::Measure;
    else if (choice != "off")
        m_report("unknown loudness choice '" + choice + "'; the loudness is left as it is");
}

Arguments LoudnessRun::measuringOutput(const Arguments& arguments, const Arguments& given,
                                       bool encoderShape) const
{
    Arguments output = {"-vn", "-sn", "-dn", "-map_metadata", "-1"};
    // The cut as conv was given it: fitting a cover may have turned it into a filter since.
    for (const char* option : {"-ss", "-t"}) {
        if (const auto value = outputOption(given, {option}))
            output.insert(output.end(), {option, value->value});
    }
    if (encoderShape) {
        for (const auto& names : {Arguments{"-ar", "-ar:a"}, Arguments{"-ac", "-ac:a"}}) {
            if (const auto value = outputOption(arguments, names))
                output.insert(output.end(), {names[0], value->value});
        }
    }
    output.insert(output.end(), {"-c:a", "pcm_f32le", "-f", "wav", "pipe:1"});
    return output;
}

bool LoudnessRun::prepare(Arguments& arguments, const Arguments& given, ChildProcess& process,
                          const std::string& ffmpeg, ChildResult& result)
{
    const std::string output = outputPathOf(arguments);
    if (m_mode == LoudnessMode::Off || output.empty())
        return true;
    if (m_mode == LoudnessMode::Tag) {
        if (!holdsLoudnessTags(output))
            return true;
        // The source's own channels, as an independent meter reads the source: a mono recording
        // sent to two speakers is heard as loud as the mono file played by a player.
        m_meter = std::make_unique<LoudnessMeter>(false);
        const Arguments measuring = measuringOutput(arguments, given, false);
        arguments.insert(arguments.end(), measuring.begin(), measuring.end());
        return true;
    }

    // apply: the audio as the encoder will take it, so the output itself lands on the target.
    const auto input = lastOptionValue(arguments, {"-i"});
    Arguments measuring = {"-nostats", "-loglevel", "error"};
    measuring.insert(measuring.end(), arguments.begin(),
                     arguments.begin() + static_cast<long>(input->index) + 2);
    const Arguments outputPart = measuringOutput(arguments, given, true);
    measuring.insert(measuring.end(), outputPart.begin(), outputPart.end());
    LoudnessMeter meter(true);
    result = process.run(ffmpeg, measuring, [&meter](const char* data, std::size_t size) {
        meter.consume(data, size);
        return true;
    });
    if (!result.succeeded())
        return false;
    const std::string filter = gainFilter(meter);
    if (filter.empty())
        return true;
    if (const auto existing = outputOption(arguments, {"-af", "-filter:a"}))
        arguments[existing->index + 1] += "," + filter;
    else
        insertBeforeOutput(arguments, {"-af", filter});
    return true;
}

std::string LoudnessRun::gainFilter(LoudnessMeter& meter)
{
    if (!meter.finish()) {
        m_report("cannot measure the loudness of the source: " + meter.error() +
                 "; converted without a gain");
        return {};
    }
    if (!std::isfinite(meter.integrated())) {
        m_report("loudness gain none: the source is silent");
        return {};
    }
    const double gain = TargetLoudness - meter.integrated();
    const double truePeak = toDecibels(meter.truePeak());
    std::string filter = "volume=" + decibels(gain) + "dB";
    std::string line = "loudness gain " + decibels(gain) + " dB: the source measured " +
                       decibels(meter.integrated(), "%.2f") + " LUFS, true peak " +
                       decibels(truePeak, "%.2f") + " dBTP";
    if (truePeak + gain > PeakCeiling) {
        const int rate = meter.sampleRate();
        filter += ",aresample=" + std::to_string(4 * rate) + ",alimiter=limit=" +
                  decibels(std::pow(10.0, LimiterLevel / 20.0), "%.6f") +
                  ":level=0:latency=1,aresample=" + std::to_string(rate);
        line += "; a true-peak limiter holds the peaks at -1 dBTP";
    }
    m_report(line);
    m_gainLine = line;
    return filter;
}

int LoudnessRun::measure(const Arguments& arguments, ChildProcess& process,
                         const std::string& ffmpeg)
{
    const auto input = lastOptionValue(arguments, {"-i"});
    if (!input) {
        m_report("nothing to measure: no -i FILE");
        return 2;
    }
    const Arguments decoding = {"-nostdin", "-nostats", "-loglevel", "error",  "-i",
                                input->value, "-vn",  "-sn",       "-dn",    "-c:a",
                                "pcm_f32le",  "-f",   "wav",       "pipe:1"};
    LoudnessMeter meter(false);
    const ChildResult result =
        process.run(ffmpeg, decoding, [&meter](const char* data, std::size_t size) {
            meter.consume(data, size);
            return true;
        });
    if (!result.succeeded()) {
        m_report("cannot decode '" + input->value + "' to measure it");
        return 1;
    }
    return reportMeasured(meter, input->value);
}

int LoudnessRun::reportMeasured(LoudnessMeter& meter, const std::string& input)
{
    if (!meter.finish()) {
        m_report("cannot measure the loudness of '" + input + "': " + meter.error());
        return 1;
    }
    m_report(formatReport(meter.report()));
    return 0;
}

ChildProcess::Sink LoudnessRun::sink()
{
    if (!m_meter)
        return {};
    return [this](const char* data, std::size_t size) {
        // Read to the end whatever the meter thinks, so that ffmpeg never waits on the pipe.
        m_meter->consume(data, size);
        return true;
    };
}

EncoderAudio LoudnessRun::encoderAudio(const Arguments& arguments)
{
    const std::string output = outputPathOf(arguments);
    if (m_mode != LoudnessMode::Tag || output.empty() || !holdsLoudnessTags(output))
        return {};
    // The output's own rate and channels: what a player of the output hears.
    m_meter = std::make_unique<LoudnessMeter>(false);
    m_frames = std::make_unique<FrameLoudness>(*m_meter);
    return [this](const AVFrame& frame) {
        // The conversion goes on whatever the meter thinks; finish() tells why it failed.
        m_frames->take(frame);
        return true;
    };
}

bool LoudnessRun::finish(const std::string& output, std::string& error)
{
    if (!m_gainLine.empty())
        m_report(m_gainLine);
    if (!m_meter)
        return true;
    if (!m_meter->finish()) {
        error = "cannot measure the loudness of the conversion: " + m_meter->error();
        return false;
    }
    const double loudness = m_meter->integrated();
    if (std::isfinite(loudness)) {
        if (!writeLoudnessTags(output, LoudnessScope::Track, loudness, m_meter->samplePeak(),
                               error))
            return false;
        m_report("track loudness " + decibels(loudness, "%.2f") + " LUFS, gain " +
                 replayGainText(loudness) + ", peak " + decibels(m_meter->samplePeak(), "%.6f"));
    } else {
        m_report("track loudness: the audio is silent; no loudness tags");
    }
    m_report(formatReport(m_meter->report()));
    return true;
}
