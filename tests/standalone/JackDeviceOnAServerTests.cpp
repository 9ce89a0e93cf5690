// The application's JACK device on a real server (the dummy driver that with-jack-server.sh
// starts): what it promises its audio callback while the server changes its period under it.
#include "JackAudioDevice.h"

#include <jack/jack.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

namespace
{
// A client of the test's own on the server that with-jack-server.sh started, which sets the
// server's period.
class PeriodControl
{
public:
    PeriodControl() : client(jack_client_open("batto-period-control", JackNoStartServer, nullptr))
    {
    }

    ~PeriodControl()
    {
        if (client != nullptr)
        {
            setPeriod(originalPeriod); // the next test finds the server as it was
            jack_client_close(client);
        }
    }

    bool isConnected() const
    {
        return client != nullptr;
    }

    bool setPeriod(int frames)
    {
        return jack_set_buffer_size(client, static_cast<jack_nframes_t>(frames)) == 0;
    }

private:
    jack_client_t* client;
    const int originalPeriod = client != nullptr ? static_cast<int>(jack_get_buffer_size(client)) : 0;
};

// Remembers what the device promised it and what it was handed.
class BlockSizeWatch : public juce::AudioIODeviceCallback
{
public:
    void audioDeviceAboutToStart(juce::AudioIODevice* device) override
    {
        prepared.store(device->getCurrentBufferSizeSamples());
        ++preparations;
    }

    void audioDeviceStopped() override
    {
    }

    void audioDeviceIOCallbackWithContext(const float* const*, int, float* const* outputs, int numOutputs,
                                          int numSamples, const juce::AudioIODeviceCallbackContext&) override
    {
        if (numSamples > prepared.load())
            ++blocksLongerThanPrepared;
        lastBlock.store(numSamples);
        ++blocks;
        for (int i = 0; i < numOutputs; ++i)
            juce::FloatVectorOperations::clear(outputs[i], numSamples);
    }

    std::atomic<int> prepared{0};
    std::atomic<int> preparations{0};
    std::atomic<int> blocks{0};
    std::atomic<int> lastBlock{0};
    std::atomic<int> blocksLongerThanPrepared{0};
};

// Runs the message loop until the condition holds (false after 30 s).
bool waitFor(const std::function<bool()>& condition)
{
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + 30000.0;
    while (!condition())
    {
        if (juce::Time::getMillisecondCounterHiRes() > deadline)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
    }
    return true;
}
} // namespace

// A callback is never handed a block longer than the period it was prepared for: when the
// server's period grows, the callback is prepared again for the new one; when it shrinks,
// the callback goes on with shorter blocks as it is.
TEST(JackDeviceOnAServer, FollowsThePeriodTheServerChangesTo)
{
    juce::ScopedJuceInitialiser_GUI messageThread;
    PeriodControl server;
    ASSERT_TRUE(server.isConnected()) << "no JACK server";
    ASSERT_TRUE(server.setPeriod(256));

    JackAudioDeviceType type("batto-device-test");
    std::unique_ptr<juce::AudioIODevice> device(type.createDevice("system", {}));
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->open({}, 3, 48000.0, 256), juce::String());
    BlockSizeWatch watch;
    device->start(&watch);
    ASSERT_TRUE(waitFor([&] { return watch.blocks.load() > 10; }));
    EXPECT_EQ(watch.prepared.load(), 256);

    for (const int period : {1024, 64, 4096})
    {
        ASSERT_TRUE(server.setPeriod(period)) << period;
        const int blocksBefore = watch.blocks.load();
        EXPECT_TRUE(waitFor([&] { return watch.lastBlock.load() == period && watch.blocks.load() > blocksBefore + 10; }))
            << "no blocks of " << period << " frames";
        EXPECT_EQ(device->getCurrentBufferSizeSamples(), period);
    }
    EXPECT_EQ(watch.prepared.load(), 4096);
    EXPECT_EQ(watch.preparations.load(), 3) << "prepared at the start, then for 1024 and for 4096, not for 64";
    EXPECT_EQ(watch.blocksLongerThanPrepared.load(), 0);

    device->close();
}
