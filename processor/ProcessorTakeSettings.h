#pragma once

#include "BattoAudioProcessor.h"
#include "TakeWriter.h"

// What a take states about the drummer that plays it: the processor's settings, read
// through its thread-safe getters on the take writer's thread.
inline TakeWriter::DrummerSettings drummerSettingsOf(BattoAudioProcessor& processor)
{
    return [&processor](TakeSettings& settings)
    {
        settings.externalClock = processor.isHostSynced();
        settings.divisionDuTemps = processor.getDivisionDuTempsSetting();
        settings.autoKick = processor.isAutoKickOn();
        settings.autoSnare = processor.isAutoSnareOn();
        settings.breakParam1 = processor.GetBreakParam1();
        settings.breakParam2 = processor.GetBreakParam2();
        settings.gravaEnabled = processor.isGravaEnabled();
    };
}
