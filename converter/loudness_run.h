#pragma once

#include "converter/arguments.h"
#include "converter/child_process.h"
#include "converter/frame_loudness.h"
#include "converter/loudness_meter.h"
#include "converter/pipeline.h"

#include <functional>
#include <memory>
#include <string>

// conv's part in levelling loudness, chosen by its own leading switch "-loudness tag|apply":
// - tag: the audio is measured in the same run that converts it (the conversion in this process
//   hands over the audio it encodes, or a second output of ffmpeg's sends it to conv as PCM; a
//   copied stream is decoded for it first), the output gets its track values, and conv's last
//   line is the report the program gates an album with;
// - apply: the source is measured first, in a run of its own, and converted with one constant
//   gain to -18 LUFS; where that gain would lift the true peak above -1 dBTP a true-peak limiter
//   holds the peaks. The gain is repeated as conv's last line on success;
// - measure ("-loudness measure -i FILE"): no conversion at all; the file is decoded and measured,
//   and conv's last line is its report, as after "tag". The program measures an output left in
//   place by the existing-output rule this way, so it can join its album.
enum class LoudnessMode { Off, Tag, Apply, Measure };

class LoudnessRun
{
public:
    using Report = std::function<void(const std::string&)>;

    // Takes the switch from the front of the arguments; Off without it. An unknown choice is
    // reported and measured as Off.
    LoudnessRun(Arguments& arguments, Report report);

    bool measuresOnly() const { return m_mode == LoudnessMode::Measure; }
    // The measure mode: decodes the file in this process and measures it; conv's exit status.
    int measureInProcess(const Arguments& arguments, const StopCheck& stop);
    // The same through ffmpeg, for conv's "--ffmpeg" path.
    int measure(const Arguments& arguments, ChildProcess& process, const std::string& ffmpeg);

    // Before a conversion in this process runs, with the arguments as they will run: apply
    // measures the audio as the encoder will take it and gives the gain (and limiter) as a filter
    // chain in `filters`; tag measures the source of a copy, whose audio the conversion never
    // decodes. False when the source could not be decoded or a stop came; `stopSignal` says which.
    bool prepareInProcess(const Arguments& arguments, const StopCheck& stop, std::string& filters,
                          int& stopSignal);
    // The same for the "--ffmpeg" path, with the arguments as they will run and as conv was given
    // them: the gain goes into the arguments, and tagging adds a second output for the meter.
    // False when measuring the source failed or was stopped; `result` then says how it ended.
    bool prepare(Arguments& arguments, const Arguments& given, ChildProcess& process,
                 const std::string& ffmpeg, ChildResult& result);
    // What reads ffmpeg's standard output during the conversion; empty when nothing is measured.
    ChildProcess::Sink sink();
    // tag, converting in this process (instead of prepare and sink): what measures the audio as
    // it goes into the encoder; empty when the output holds no loudness tags.
    EncoderAudio encoderAudio(const Arguments& arguments);
    // Once the output is complete: tags it and prints the report as conv's very last line. False,
    // with the reason in `error`, when it could not be measured or tagged.
    bool finish(const std::string& output, std::string& error);

private:
    // The end of a measure run: the meter's report as conv's last line; conv's exit status.
    int reportMeasured(LoudnessMeter& meter, const std::string& input);
    // apply: the gain filter for what the meter took, reported; empty for none.
    std::string gainFilter(LoudnessMeter& meter);
    Arguments measuringOutput(const Arguments& arguments, const Arguments& given,
                              bool encoderShape) const;

    LoudnessMode m_mode = LoudnessMode::Off;
    Report m_report;
    std::unique_ptr<LoudnessMeter> m_meter;
    std::unique_ptr<FrameLoudness> m_frames; // feeds m_meter from the conversion in this process
    std::string m_gainLine; // apply: the gain, said again last
};
