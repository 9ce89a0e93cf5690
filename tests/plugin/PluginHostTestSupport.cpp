#include "PluginHostTestSupport.h"

#include <cstring>

namespace
{
// The plug-in client's formats, each loaded once: the LV2 world reads its bundles once.
juce::AudioPluginFormat& formatFor(Format format)
{
    static juce::VST3PluginFormat vst3;
    static juce::LV2PluginFormat lv2;
    static const bool lv2BundlesRead = [&]
    {
        const auto folder = juce::File(BATTO_LV2_BUNDLE).getParentDirectory();
        lv2.searchPathsForPlugins(juce::FileSearchPath(folder.getFullPathName()), false, false);
        return true;
    }();
    juce::ignoreUnused(lv2BundlesRead);
    return format == Format::vst3 ? static_cast<juce::AudioPluginFormat&>(vst3) : lv2;
}

constexpr const char* jucePrivateDataMark = "JUCEPrivateData";
} // namespace

HostedPlugin::HostedPlugin(Format format, double sampleRate, int blockSizeToUse)
    : transport(sampleRate, 120.0), blockSize(blockSizeToUse)
{
    auto& pluginFormat = formatFor(format);
    juce::OwnedArray<juce::PluginDescription> types;
    pluginFormat.findAllTypesForFile(types, format == Format::vst3 ? BATTO_VST3_BUNDLE : BATTO_LV2_URI);
    if (types.size() != 1)
    {
        ADD_FAILURE() << nameOf(format) << ": " << types.size() << " plug-ins found";
        return;
    }
    juce::String error;
    instance = pluginFormat.createInstanceFromDescription(*types[0], sampleRate, blockSize, error);
    if (instance == nullptr)
    {
        ADD_FAILURE() << nameOf(format) << " did not load: " << error;
        return;
    }
    instance->setPlayHead(&transport);
    instance->prepareToPlay(sampleRate, blockSize);
    const int channels =
        juce::jmax(2, instance->getTotalNumInputChannels(), instance->getTotalNumOutputChannels());
    audio.setSize(channels, blockSize);
}

HostedPlugin::~HostedPlugin()
{
    if (instance != nullptr)
    {
        instance->releaseResources();
        instance->setPlayHead(nullptr);
    }
}

bool HostedPlugin::isLoaded() const
{
    return instance != nullptr;
}

const juce::MidiBuffer& HostedPlugin::processBlock(int samples, const juce::MidiBuffer& input)
{
    audio.setSize(audio.getNumChannels(), samples, false, false, true);
    for (int channel = 0; channel < audio.getNumChannels(); ++channel)
        for (int sample = 0; sample < samples; ++sample)
            audio.setSample(channel, sample, 0.001f * static_cast<float>((sample + channel) % 500));
    midi = input;
    instance->processBlock(audio, midi);

    // A MIDI effect: whatever audio comes in goes out unchanged.
    const int passing =
        juce::jmin(instance->getTotalNumInputChannels(), instance->getTotalNumOutputChannels());
    for (int channel = 0; channel < passing; ++channel)
        for (int sample = 0; sample < samples; ++sample)
            if (audio.getSample(channel, sample) != 0.001f * static_cast<float>((sample + channel) % 500))
            {
                ADD_FAILURE() << "audio changed at channel " << channel << ", sample " << sample;
                return midi;
            }
    return midi;
}

std::vector<Hit> HostedPlugin::play(juce::int64 until,
                                    const std::vector<std::pair<juce::int64, juce::MidiMessage>>& input)
{
    std::vector<Hit> hits;
    while (transport.position() < until)
    {
        const auto start = transport.position();
        const int samples = static_cast<int>(juce::jmin<juce::int64>(blockSize, until - start));
        juce::MidiBuffer block;
        for (const auto& [at, message] : input)
            if (at >= start && at < start + samples)
                block.addEvent(message, static_cast<int>(at - start));
        for (const auto event : processBlock(samples, block))
            hits.push_back({start + event.samplePosition, event.data[0],
                            event.numBytes > 1 ? event.data[1] : -1,
                            event.numBytes > 2 ? event.data[2] : -1});
        transport.advance(samples);
    }
    return hits;
}

//==============================================================================
Chunk& Chunk::integer(const char* tag, int value)
{
    block.append(tag, 4);
    const auto bits = static_cast<juce::uint32>(value);
    const juce::uint8 bytes[] = {static_cast<juce::uint8>(bits), static_cast<juce::uint8>(bits >> 8),
                                 static_cast<juce::uint8>(bits >> 16), static_cast<juce::uint8>(bits >> 24)};
    block.append(bytes, 4);
    return *this;
}

Chunk& Chunk::real(const char* tag, float value)
{
    juce::uint32 bits;
    std::memcpy(&bits, &value, 4);
    return integer(tag, static_cast<int>(bits));
}

juce::MemoryBlock Chunk::bytes() const
{
    return block;
}

juce::MemoryBlock DrummerSettings::chunk(bool asTheStandaloneBuildWritesIt) const
{
    Chunk chunk;
    chunk.real("VOLU", volume).real("TEMP", tempo).integer("HIHA", divisions);
    chunk.integer("AKIC", autoKick).integer("ASNA", autoSnare);
    if (asTheStandaloneBuildWritesIt)
        chunk.integer("DRMK", -3);
    for (int voice = 0; voice < 10; ++voice)
    {
        const std::string digit(1, static_cast<char>('0' + voice));
        chunk.integer(("DMN" + digit).c_str(), drumNotes[voice])
            .real(("VLS" + digit).c_str(), velocityScales[voice]);
    }
    chunk.integer("GRVA", bassFollower).real("BRE1", velocitySensitivity).real("BRE2", dynamicSensitivity);
    return chunk.bytes();
}

//==============================================================================
// VST3: the framework's host keeps the component's state, base64, in an XML element; the
// plug-in's wrapper writes the drummer's chunk followed by private data of its own, which
// ends with the size of that data and a mark.
namespace
{
juce::MemoryBlock componentState(const juce::XmlElement& state)
{
    juce::MemoryBlock component;
    if (const auto* element = state.getChildByName("IComponent"))
        component.fromBase64Encoding(element->getAllSubText().trim());
    return component;
}

size_t chunkSizeInComponentState(const juce::MemoryBlock& component)
{
    const size_t markSize = std::strlen(jucePrivateDataMark);
    const size_t size = component.getSize();
    if (size < markSize + 16)
        return size;
    juce::int64 privateSize = 0;
    std::memcpy(&privateSize, static_cast<const char*>(component.getData()) + size - markSize - 8, 8);
    return size - markSize - 8 - static_cast<size_t>(privateSize) - 8;
}

// LV2: the framework's host keeps the plug-in's state as Turtle text, in which the wrapper's
// "StateString" property holds the chunk in the framework's base64.
juce::Range<int> stateStringIn(const juce::String& turtle)
{
    const int property = turtle.indexOf("StateString>");
    const int open = turtle.indexOf(property, "\"");
    const int close = turtle.indexOf(open + 1, "\"");
    return property < 0 || open < 0 || close < 0 ? juce::Range<int>() : juce::Range<int>(open + 1, close);
}
} // namespace

juce::MemoryBlock hostStateWithChunk(Format format, const juce::MemoryBlock& model,
                                     const juce::MemoryBlock& chunk)
{
    juce::MemoryBlock result;
    if (format == Format::vst3)
    {
        auto state =
            juce::AudioProcessor::getXmlFromBinary(model.getData(), static_cast<int>(model.getSize()));
        if (state == nullptr)
            return result;
        const auto component = componentState(*state);
        juce::MemoryBlock replaced(chunk);
        const size_t oldChunk = chunkSizeInComponentState(component);
        replaced.append(static_cast<const char*>(component.getData()) + oldChunk,
                        component.getSize() - oldChunk);
        auto* element = state->getChildByName("IComponent");
        element->deleteAllTextElements();
        element->addTextElement(replaced.toBase64Encoding());
        juce::AudioProcessor::copyXmlToBinary(*state, result);
        return result;
    }
    const auto turtle = model.toString();
    const auto range = stateStringIn(turtle);
    const auto replaced =
        turtle.replaceSection(range.getStart(), range.getLength(), chunk.toBase64Encoding());
    result.append(replaced.toRawUTF8(), replaced.getNumBytesAsUTF8());
    return result;
}

juce::MemoryBlock chunkInHostState(Format format, const juce::MemoryBlock& hostState)
{
    juce::MemoryBlock chunk;
    if (format == Format::vst3)
    {
        if (auto state = juce::AudioProcessor::getXmlFromBinary(hostState.getData(),
                                                                static_cast<int>(hostState.getSize())))
        {
            const auto component = componentState(*state);
            chunk.append(component.getData(), chunkSizeInComponentState(component));
        }
        return chunk;
    }
    const auto turtle = hostState.toString();
    chunk.fromBase64Encoding(
        turtle.substring(stateStringIn(turtle).getStart(), stateStringIn(turtle).getEnd()));
    return chunk;
}
