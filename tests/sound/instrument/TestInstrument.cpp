// A small VST3 instrument that the sound tests host: every note-on starts a ramp whose height
// is the velocity times the instrument's gain and whose length depends on the note, so a test
// can tell from the audio which hit landed on which sample. The left channel carries the ramp,
// the right channel half of it. Two parameters, "gain" and "drone" (never fall silent), make
// its state: "BTI1", the gain as a float, the drone flag as a byte.
#include <juce_audio_processors/juce_audio_processors.h>

#include <cstring>

namespace
{
constexpr char stateMagic[4] = {'B', 'T', 'I', '1'};
constexpr size_t stateSize = sizeof(stateMagic) + sizeof(float) + 1;
constexpr int maximumSounds = 16;
constexpr float droneLevel = 1.0e-3f;
} // namespace

class TestInstrument : public juce::AudioProcessor
{
public:
    TestInstrument()
        : juce::AudioProcessor(
            BusesProperties().withOutput("Output", juce::AudioChannelSet::stereo(), true))
    {
        addParameter(gain = new juce::AudioParameterFloat({"gain", 1}, "gain", 0.0f, 1.0f, 1.0f));
        addParameter(drone = new juce::AudioParameterBool({"drone", 1}, "drone", false));
    }

    // The length of the ramp that a note starts.
    static int lengthOf(int note)
    {
        return 1000 + 10 * note;
    }

    const juce::String getName() const override
    {
        return "Batto Test Instrument";
    }

    void prepareToPlay(double, int) override
    {
        soundCount = 0;
    }
    void releaseResources() override {}

    bool isBusesLayoutSupported(const BusesLayout& layouts) const override
    {
        return layouts.getMainOutputChannelSet() == juce::AudioChannelSet::stereo();
    }

    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override
    {
        buffer.clear();
        int start = 0;
        for (const auto event : midi)
        {
            render(buffer, start, event.samplePosition);
            start = juce::jmax(start, event.samplePosition);
            const auto message = event.getMessage();
            if (message.isNoteOn() && soundCount < maximumSounds)
                sounds[soundCount++] = {lengthOf(message.getNoteNumber()), 0, message.getFloatVelocity() * gain->get()};
        }
        render(buffer, start, buffer.getNumSamples());
    }

    bool acceptsMidi() const override
    {
        return true;
    }
    bool producesMidi() const override
    {
        return false;
    }
    double getTailLengthSeconds() const override
    {
        return 0.0;
    }

    juce::AudioProcessorEditor* createEditor() override
    {
        return new juce::GenericAudioProcessorEditor(*this);
    }
    bool hasEditor() const override
    {
        return true;
    }

    int getNumPrograms() override
    {
        return 1;
    }
    int getCurrentProgram() override
    {
        return 0;
    }
    void setCurrentProgram(int) override {}
    const juce::String getProgramName(int) override
    {
        return {};
    }
    void changeProgramName(int, const juce::String&) override {}

    void getStateInformation(juce::MemoryBlock& destData) override
    {
        destData.replaceAll(stateMagic, sizeof(stateMagic));
        const float gainValue = gain->get();
        destData.append(&gainValue, sizeof(gainValue));
        const char droneValue = drone->get() ? 1 : 0;
        destData.append(&droneValue, 1);
    }

    void setStateInformation(const void* data, int sizeInBytes) override
    {
        if (sizeInBytes != static_cast<int>(stateSize) || std::memcmp(data, stateMagic, sizeof(stateMagic)) != 0)
            return; // not ours: keep the present state
        float gainValue = 1.0f;
        std::memcpy(&gainValue, static_cast<const char*>(data) + sizeof(stateMagic), sizeof(gainValue));
        *gain = gainValue;
        *drone = static_cast<const char*>(data)[stateSize - 1] != 0;
    }

private:
    struct Sound
    {
        int length;
        int played;
        float height;
    };

    void render(juce::AudioBuffer<float>& buffer, int from, int to)
    {
        to = juce::jmin(to, buffer.getNumSamples());
        for (int s = from; s < to; ++s)
        {
            float value = drone->get() ? droneLevel : 0.0f;
            for (int i = 0; i < soundCount;)
            {
                Sound& sound = sounds[i];
                value += sound.height * (1.0f - static_cast<float>(sound.played) / static_cast<float>(sound.length));
                if (++sound.played >= sound.length)
                    sounds[i] = sounds[--soundCount];
                else
                    ++i;
            }
            buffer.setSample(0, s, value);
            if (buffer.getNumChannels() > 1)
                buffer.setSample(1, s, 0.5f * value);
        }
    }

    juce::AudioParameterFloat* gain = nullptr;
    juce::AudioParameterBool* drone = nullptr;
    Sound sounds[maximumSounds];
    int soundCount = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(TestInstrument)
};

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new TestInstrument();
}
