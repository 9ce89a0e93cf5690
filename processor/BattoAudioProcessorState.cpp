#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"
#include "readAndWriteDataChunk.h"

//==============================================================================
// State chunk

void BattoAudioProcessor::getStateInformation(juce::MemoryBlock& destData)
{
    using Codec = readAndWriteDataChunk;
    Codec::appendFloat(destData, "VOLU", static_cast<float>(volume.load()));
    Codec::appendFloat(destData, "TEMP", static_cast<float>(tempo.load()));
    Codec::appendInt(destData, "HIHA", divisionDuTemps.load());
    Codec::appendInt(destData, "AKIC", autoKick.load() ? 1 : 0);
    Codec::appendInt(destData, "ASNA", autoSnare.load() ? 1 : 0);
#if !BATTO_PLUGIN_BUILD
    Codec::appendInt(destData, "DRMK", drumKit.load());
#endif
    for (int voice = 0; voice < numVoices; ++voice)
    {
        Codec::appendInt(destData, VoiceTag("DMN", voice).text, drumNotes[voice].load());
        Codec::appendFloat(destData, VoiceTag("VLS", voice).text, velocityScales[voice].load());
    }
    Codec::appendInt(destData, "GRVA", gravaEnabled.load() ? 1 : 0);
    Codec::appendFloat(destData, "BRE1", static_cast<float>(breakParam1.load()));
    Codec::appendFloat(destData, "BRE2", static_cast<float>(breakParam2.load()));
}

void BattoAudioProcessor::setStateInformation(const void* data, int sizeInBytes)
{
    readAndWriteDataChunk reader(data, sizeInBytes);
    if (const auto value = reader.readFloat("VOLU"))
        setVolume(*value);
    if (const auto value = reader.readFloat("TEMP"))
        setTempo(*value); // the engine's subdivision length follows at the next block
    if (const auto value = reader.readInt("HIHA"))
        chooseDivisionDuTemps(*value); // waits for a beat while the drummer plays
    if (const auto value = reader.readInt("AKIC"))
        autoKick.store(*value != 0);
    if (const auto value = reader.readInt("ASNA"))
        autoSnare.store(*value != 0);
#if !BATTO_PLUGIN_BUILD
    if (const auto value = reader.readInt("DRMK"))
        drumKit.store(*value);
#endif
    for (int voice = 0; voice < numVoices; ++voice)
    {
        if (const auto value = reader.readInt(VoiceTag("DMN", voice).text))
            setDrumNote(voice, *value);
        if (const auto value = reader.readFloat(VoiceTag("VLS", voice).text))
            setVelocityScale(voice, *value);
    }
    if (const auto value = reader.readInt("GRVA"))
        setGravaEnabled(*value != 0); // a switch releases the keys the follower holds
    if (const auto value = reader.readFloat("BRE1"))
        setBreakParam1(*value);
    if (const auto value = reader.readFloat("BRE2"))
        setBreakParam2(*value);
}
