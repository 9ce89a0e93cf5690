// The application's JACK device on a real server (JACK's dummy driver, started by the test
// under a name of its own): what it promises its audio callback while the server changes its
// period under it.
#include "JackAudioDevice.h"

#include <jack/jack.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <spawn.h>
#include <vector>
#include <sys/wait.h>

extern char** environ;

namespace
{
// A dummy-driver server of the test's own, running synchronously with a long client timeout,
// like the real-program checks' servers, so that a loaded machine drops no client.
class DummyJackServer
{
public:
    explicit DummyJackServer(int period)
    {
        const auto name = "batto-device-test-" + juce::String(juce::Time::getCurrentTime().toMilliseconds())
                          + "-" + juce::String(juce::Random::getSystemRandom().nextInt(1 << 20));
        setenv("JACK_NO_START_SERVER", "1", 1);
        setenv("JACK_DEFAULT_SERVER", name.toRawUTF8(), 1);
        const juce::StringArray arguments{"jackd", "-n", name, "--no-realtime", "-S", "-t", "2000", "-d",
                                          "dummy", "-r", "48000", "-p", juce::String(period)};
        std::vector<char*> argv;
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.toRawUTF8()));
        argv.push_back(nullptr);
        started = posix_spawnp(&pid, "jackd", nullptr, nullptr, argv.data(), environ) == 0;
    }

    ~DummyJackServer()
    {
        if (control != nullptr)
            jack_client_close(control);
        if (started)
        {
            kill(pid, SIGTERM); // SIGKILL would leave the server's shared memory behind
            waitpid(pid, nullptr, 0);
        }
    }

    // A client of the server's own, once it answers (false when it never does).
    bool waitUntilRunning()
    {
        const auto deadline = juce::Time::getMillisecondCounterHiRes() + 60000.0;
        while (started && control == nullptr && juce::Time::getMillisecondCounterHiRes() < deadline)
        {
            control = jack_client_open("batto-device-test-control", JackNoStartServer, nullptr);
            if (control == nullptr)
                juce::Thread::sleep(50);
        }
        return control != nullptr;
    }

    bool setPeriod(int frames)
    {
        return jack_set_buffer_size(control, static_cast<jack_nframes_t>(frames)) == 0;
    }

private:
    pid_t pid = 0;
    bool started = false;
    jack_client_t* control = nullptr;
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
    DummyJackServer server(256);
    ASSERT_TRUE(server.waitUntilRunning()) << "the dummy JACK server did not start";

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
