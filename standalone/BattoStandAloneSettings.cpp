#include "BattoStandAloneApplication.h"

#include "SettingsValues.h"

#include <charconv>

namespace
{
// The shortest text that reads back as exactly this double.
juce::String exactText(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof(text), value);
    return juce::String(text, static_cast<size_t>(result.ptr - text));
}
} // namespace

const juce::String BattoStandAloneApplication::TEMPO_REF = "tempo";
const juce::String BattoStandAloneApplication::AUTOKICK_REF = "autokick";
const juce::String BattoStandAloneApplication::AUTOSNARE_REF = "autosnare";
const juce::String BattoStandAloneApplication::DRUM_KIT_REF = "drumKit";
const juce::String BattoStandAloneApplication::DIVISION_DU_TEMPS_REF = "divisionDuTemps";
const juce::String BattoStandAloneApplication::DRUM_NOTE_REF = "drumNote";
const juce::String BattoStandAloneApplication::MIDI_VEL_SCALE = "midiVelScale";
const juce::String BattoStandAloneApplication::BREAK_REF_1 = "break1";
const juce::String BattoStandAloneApplication::BREAK_REF_2 = "break2";
const juce::String BattoStandAloneApplication::GRAVA_REF = "grava";
const juce::String BattoStandAloneApplication::BATTOKIT_PATH = "battokitpath";
const juce::String BattoStandAloneApplication::METRONOMEVOLUME = "metronomeVolume";
const juce::String BattoStandAloneApplication::SYNC_SOURCE_REF = "syncSource";
const juce::String BattoStandAloneApplication::MIDI_CLOCK_OUT_REF = "midiClockOut";

BattoAudioProcessor::Settings
BattoStandAloneApplication::readProcessorSettings(const juce::PropertiesFile& file)
{
    const SettingsValues values(file);
    BattoAudioProcessor::Settings settings;
    for (int voice = 0; voice < Batto::numVoices; ++voice)
    {
        settings.drumNotes[voice] =
            values.getNote(DRUM_NOTE_REF + juce::String(voice), Batto::drumNoteByDefault[voice]);
        settings.velocityScales[voice] =
            static_cast<float>(values.getDouble(MIDI_VEL_SCALE + juce::String(voice), 1.0));
    }
    // A subdivision or a tempo that the engine cannot run with gives the default.
    const int divisions = values.getInt(DIVISION_DU_TEMPS_REF, 2);
    settings.divisionDuTemps = BattoAudioProcessor::isUsableDivisionDuTemps(divisions) ? divisions : 2;
    const double tempo = values.getDouble(TEMPO_REF, 120.0);
    settings.tempo = BattoAudioProcessor::isUsableTempo(tempo) ? tempo : 120.0;
    settings.autoKick = values.getBool(AUTOKICK_REF, true);
    settings.autoSnare = values.getBool(AUTOSNARE_REF, true);
    settings.drumKit = values.getInt(DRUM_KIT_REF, BattoAudioProcessor::kitInternal);
    settings.breakParam1 = values.getDouble(BREAK_REF_1, 0.5);
    settings.breakParam2 = values.getDouble(BREAK_REF_2, 0.5);
    settings.gravaEnabled = values.getBool(GRAVA_REF, false);
    settings.syncSource = syncSourceNamed(values.getString(SYNC_SOURCE_REF, {}));
    settings.midiClockOutput = values.getBool(MIDI_CLOCK_OUT_REF, false);
    return settings;
}

void BattoStandAloneApplication::writeProcessorSettings(juce::PropertiesFile& file,
                                                        const BattoAudioProcessor& processor,
                                                        const juce::String& battokitPath)
{
    // BattoAudioProcessor's host-interface getters are the audio thread's; the settings
    // are read through their thread-safe twins.
    auto& engineSide = const_cast<BattoAudioProcessor&>(processor);
    file.setValue(TEMPO_REF, exactText(processor.getTempoSetting()));
    file.setValue(DIVISION_DU_TEMPS_REF, processor.getDivisionDuTempsSetting());
    file.setValue(AUTOKICK_REF, processor.isAutoKickOn());
    file.setValue(AUTOSNARE_REF, processor.isAutoSnareOn());
    file.setValue(DRUM_KIT_REF, processor.getDrumKit());
    file.setValue(BREAK_REF_1, exactText(engineSide.GetBreakParam1()));
    file.setValue(BREAK_REF_2, exactText(engineSide.GetBreakParam2()));
    file.setValue(GRAVA_REF, processor.isGravaEnabled());
    file.setValue(BATTOKIT_PATH, battokitPath);
    file.setValue(METRONOMEVOLUME, exactText(processor.getClickVolume()));
    file.setValue(SYNC_SOURCE_REF, syncSourceName(processor.getSyncSource()));
    file.setValue(MIDI_CLOCK_OUT_REF, processor.isMidiClockOutputOn());
    for (int voice = 0; voice < Batto::numVoices; ++voice)
    {
        file.setValue(DRUM_NOTE_REF + juce::String(voice), processor.getDrumNote(voice));
        // The float widened to double, digit for digit (0.3f is 0.30000001192092896).
        file.setValue(MIDI_VEL_SCALE + juce::String(voice), exactText(processor.getVelocityScale(voice)));
    }
}
