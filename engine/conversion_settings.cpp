#include "engine/conversion_settings.h"

ConversionSettings ConversionSettings::from(const SetupSettings& setup,
                                            const OptionsSettings& options)
{
    ConversionSettings settings;
    settings.formatIndex = setup.formatIndex;
    settings.bitrateIndex = setup.bitrateIndex;
    settings.rateIndex = setup.rateIndex;
    settings.channelIndex = setup.channelIndex;
    settings.outputFolder = setup.outputFolder;
    settings.soundIndex = options.soundIndex;
    settings.cutterOn = options.cutterOn;
    settings.cutStart = options.cutStart;
    settings.cutLength = options.cutLength;
    settings.cutStartFraction = options.cutStartFraction;
    settings.cutLengthFraction = options.cutLengthFraction;
    return settings;
}
