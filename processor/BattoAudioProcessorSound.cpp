#include "BattoAudioProcessor.h"
#include "BattoAudioProcessorInternal.h"

#if !BATTO_PLUGIN_BUILD
#include "BinaryData.h"
#include "ExternalPluginWindowOwner.h"
#include "FillBufferToPlayAux.h"

#include <limits>
#endif

//==============================================================================
// Standalone build: metronome, sound outputs

#if !BATTO_PLUGIN_BUILD
void BattoAudioProcessor::JouerMetronome(bool accent)
{
    if (clickVolume.load() != 0.0 && playingClicks.size() < maximumPlayingClicks)
        playingClicks.push_back({-currentSampleOffset, accent ? 1 : 0});
}

double BattoAudioProcessor::millisecondCounterNow() const
{
    return juce::Time::getMillisecondCounterHiRes();
}

void BattoAudioProcessor::takeMidiThreadClickRequest(int numSamples)
{
    if (pendingClickTimeMs.load() <= 0.0)
        return;
    const double requestedAt = pendingClickTimeMs.exchange(-1.0);
    const bool accent = pendingClickAccent.load();
    if (requestedAt <= 0.0 || clickVolume.load() == 0.0 || playingClicks.size() >= maximumPlayingClicks)
        return;
    // A request made just now starts at the end of this block, an older one earlier.
    const double start = numSamples + (requestedAt - millisecondCounterNow()) * 0.001 * engineSampleRate;
    const int startSample = truncated(juce::jlimit(0.0, 1.0e9, start));
    playingClicks.push_back({-startSample, accent ? 1 : 0});
}

void BattoAudioProcessor::requestClickFromMidiThread(bool accent)
{
    pendingClickAccent.store(accent);
    pendingClickTimeMs.store(millisecondCounterNow());
}

void BattoAudioProcessor::mixClicks(juce::AudioBuffer<float>& buffer, int numSamples)
{
    const double level = clickVolume.load();
    if (level == 0.0)
    {
        playingClicks.clear();
        return;
    }
    const double gain = level * level;
    const int channels = buffer.getNumChannels();

    for (size_t i = 0; i < playingClicks.size();)
    {
        PlayingClick& click = playingClicks[i];
        const int played = click.position;
        if (numSamples <= -played)
        {
            click.position = played + numSamples; // starts after this block
            ++i;
            continue;
        }
        const juce::AudioBuffer<float>& sound = clickBuffers[click.clickIndex != 0 ? 1 : 0];
        const int length = sound.getNumSamples();
        const int from = juce::jmax(played, 0);
        const int to = juce::jmax(-played, 0);
        const int count = juce::jmin(numSamples - to, length - from);
        // With no output channel there is nowhere to mix: the click still runs its course.
        if (count > 0 && channels > 0 && sound.getNumChannels() > 0)
        {
            const int soundChannels[2] = {0, juce::jmin(1, sound.getNumChannels() - 1)};
            const int outputChannels[2] = {2 % channels, 3 % channels};
            for (int side = 0; side < 2; ++side)
            {
                const float* source = sound.getReadPointer(soundChannels[side], from);
                float* destination = buffer.getWritePointer(outputChannels[side], to);
                for (int k = 0; k < count; ++k)
                    destination[k] = static_cast<float>(destination[k] + gain * source[k]);
            }
        }
        if (numSamples + played >= length)
            playingClicks.erase(playingClicks.begin() + static_cast<std::ptrdiff_t>(i)); // finished
        else
        {
            click.position = played + numSamples;
            ++i;
        }
    }
}

void BattoAudioProcessor::advanceKitVoices(int numSamples)
{
    for (int voice = 0; voice < numVoices; ++voice)
        if (voiceVelocity[voice] != 0)
            voicePosition[voice] = static_cast<int>(juce::jmin<long long>(
                static_cast<long long>(voicePosition[voice]) + numSamples, std::numeric_limits<int>::max()));
}

void BattoAudioProcessor::silenceKitVoices()
{
    for (int voice = 0; voice < numVoices; ++voice)
    {
        voiceVelocity[voice] = 0;
        voicePosition[voice] = 0;
    }
    kitPlayer.forgetCuts();
}

void BattoAudioProcessor::loadClickSounds(double sampleRate)
{
    const struct
    {
        const char* data;
        int size;
    } sounds[2] = {{BinaryData::click_wav, BinaryData::click_wavSize},
                   {BinaryData::click_accent_wav, BinaryData::click_accent_wavSize}};
    juce::WavAudioFormat wav;
    residentClicks.release(); // before the sounds' memory changes
    for (int i = 0; i < 2; ++i)
    {
        FillBufferToPlayAux(
            sampleRate, clickBuffers[i], &wav,
            new juce::MemoryInputStream(sounds[i].data, static_cast<size_t>(sounds[i].size), false));
        residentClicks.keep(clickBuffers[i]);
    }
}

void BattoAudioProcessor::fillBuffersToPlayInternalKit(double sampleRate)
{
    const int kit = drumKit.load();
    if (kit == kitInternal)
        kitPlayer.fillInternalKit(sampleRate);
    else if (kit == kitBattokitFolder)
    {
        const juce::File folder = getBattokitPath();
        if (!folder.isDirectory())
        {
            battokitChooserLater.triggerAsyncUpdate(); // the previous sounds play meanwhile
            return;
        }
        const auto load = kitPlayer.fillBattokit(sampleRate, folder);
        const juce::ScopedLock lock(battokitLock);
        lastBattokitLoad = load;
    }
}

// Message thread. Null when no kit folder is at hand: the present sounds then stay.
std::unique_ptr<KitSamplePlayer> BattoAudioProcessor::decodeKit(int kit, double sampleRate)
{
    auto sounds = std::make_unique<KitSamplePlayer>();
    if (kit == kitInternal)
    {
        sounds->fillInternalKit(sampleRate);
        return sounds;
    }
    if (!getBattokitPath().isDirectory())
        ChooseBattokit();
    const juce::File folder = getBattokitPath();
    if (!folder.isDirectory())
        return nullptr;
    const auto load = sounds->fillBattokit(sampleRate, folder);
    const juce::ScopedLock lock(battokitLock);
    lastBattokitLoad = load;
    return sounds;
}

void BattoAudioProcessor::BattokitChooserLater::handleAsyncUpdate()
{
    if (processor.getDrumKit() == kitBattokitFolder && !processor.getBattokitPath().isDirectory())
        processor.setDrumKit(kitBattokitFolder); // asks for a folder, then loads it
}

void BattoAudioProcessor::setBattokitPath(const juce::File& folder)
{
    const juce::ScopedLock lock(battokitLock);
    battokitPath = folder;
}

juce::File BattoAudioProcessor::getBattokitPath() const
{
    const juce::ScopedLock lock(battokitLock);
    return battokitPath;
}

KitSamplePlayer::BattokitLoad BattoAudioProcessor::getLastBattokitLoad() const
{
    const juce::ScopedLock lock(battokitLock);
    return lastBattokitLoad;
}

bool BattoAudioProcessor::ChooseBattokit()
{
    if (!juce::MessageManager::existsAndIsCurrentThread())
        return false;
    // With no screen there is nobody to ask, and the framework's dialog would crash.
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        return false;
    juce::FileChooser chooser("Load battokit folder...", juce::File(), "", true);
    if (!chooser.browseForDirectory())
        return false;
    setBattokitPath(chooser.getResult());
    return true;
}

void BattoAudioProcessor::fillBufferToPlayInternalDrumKit(double sampleRate, Percu voice)
{
    kitPlayer.fillBufferToPlayInternalDrumKit(sampleRate, voice);
}

void BattoAudioProcessor::mixKitVoices(juce::AudioBuffer<float>& buffer, int numSamples)
{
    kitPlayer.mixVoices(buffer, numSamples, voiceVelocity, voicePosition, volume.load());
}

void BattoAudioProcessor::renderExternalPlugin(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    if (drumKitInBlock == kitExternalPlugin)
        ExternalPluginOwner::renderExternalPlugin(buffer, midiMessages, static_cast<float>(volume.load()));
}

void BattoAudioProcessor::setDrumKit(int kit)
{
    // A user kit takes a while to decode: the sounds are made aside, and processing stops
    // only while they are swapped in, so a block never sees a half-built kit.
    std::unique_ptr<KitSamplePlayer> sounds;
    if (kit == kitInternal || kit == kitBattokitFolder)
        sounds = decodeKit(kit, getEngineSampleRate()); // engineSampleRate is the audio thread's

    const bool wasSuspended = isSuspended();
    suspendProcessing(true);
    const int previous = drumKit.load();
    if (kit == kitMidiOut)
    {
        // Requests not yet taken up reach the engine before the thread takes it over (the
        // audio thread is held out while processing is suspended).
        applyUserRequests();
        drumKit.store(kit);
        if (midiThread != nullptr && running.load() && !midiOutputInBlocks.load())
            midiThread->startThread();
    }
    else
    {
        if (previous == kitMidiOut && midiThread != nullptr)
            midiThread->stopThread(-1);
        drumKit.store(kit);
        if (sounds != nullptr)
            kitPlayer.takeSoundsFrom(*sounds);
    }
    suspendProcessing(wasSuspended);
}

void BattoAudioProcessor::playMidiOutputInBlocks(bool inBlocks)
{
    if (inBlocks == midiOutputInBlocks.load())
        return;
    if (inBlocks)
    {
        if (midiThread != nullptr)
            midiThread->stopThread(-1); // hands the performance back to this engine
        const juce::ScopedLock heldOut(getCallbackLock());
        midiOutputInBlocks.store(true);
        return;
    }
    {
        const juce::ScopedLock heldOut(getCallbackLock());
        midiOutputInBlocks.store(false);
    }
    if (drumKit.load() == kitMidiOut && midiThread != nullptr && running.load())
        midiThread->startThread(); // takes the performance over from this engine
}

bool BattoAudioProcessor::playsMidiOutputInBlocks() const
{
    return midiOutputInBlocks.load();
}

void BattoAudioProcessor::chooseExternalPlugin(std::function<void()> loaded)
{
    if (GetExternalPluginWindowOwner()->CreateExternalProcessor() && loaded)
        loaded();
}

void BattoAudioProcessor::showExternalPluginWindow(juce::Button& editToggle, bool show)
{
    GetExternalPluginWindowOwner()->showExternalPluginWindow(editToggle, show);
}

int BattoAudioProcessor::getDrumKit() const
{
    return drumKit.load();
}

bool BattoAudioProcessor::IsExternalPluginSelected() const
{
    return drumKit.load() == kitExternalPlugin;
}

ExternalPluginWindowOwner* BattoAudioProcessor::GetExternalPluginWindowOwner()
{
    if (externalPluginWindowOwner == nullptr)
        externalPluginWindowOwner = createExternalPluginWindowOwner();
    return externalPluginWindowOwner.get();
}

std::unique_ptr<ExternalPluginWindowOwner> BattoAudioProcessor::createExternalPluginWindowOwner()
{
    return std::make_unique<ExternalPluginWindowOwner>(*this);
}

void BattoAudioProcessor::setClickVolume(double level)
{
    if (isUsableLevel(level))
        clickVolume.store(level);
}

double BattoAudioProcessor::getClickVolume() const
{
    return clickVolume.load();
}

int BattoAudioProcessor::getVoiceVelocity(int voice) const
{
    return isVoice(voice) ? voiceVelocity[voice] : 0;
}

int BattoAudioProcessor::getVoicePosition(int voice) const
{
    return isVoice(voice) ? voicePosition[voice] : 0;
}

const std::vector<BattoAudioProcessor::PlayingClick>& BattoAudioProcessor::getPlayingClicks() const
{
    return playingClicks;
}

const juce::AudioBuffer<float>& BattoAudioProcessor::getClickBuffer(int clickIndex) const
{
    return clickBuffers[clickIndex != 0 ? 1 : 0];
}

const KitSamplePlayer& BattoAudioProcessor::getKit() const
{
    return kitPlayer;
}
#endif
