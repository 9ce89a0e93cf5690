#include "MyAudioSource.h"

MyAudioSource::MyAudioSource(const juce::AudioBuffer<float>* sourceBuffer) : source(sourceBuffer)
{
}

MyAudioSource::~MyAudioSource() = default;

void MyAudioSource::prepareToPlay(int, double)
{
}

void MyAudioSource::releaseResources()
{
}

void MyAudioSource::getNextAudioBlock(const juce::AudioSourceChannelInfo& request)
{
    if (source == nullptr || request.buffer == nullptr || request.numSamples <= 0)
        return;

    const int sourceLength = source->getNumSamples();
    const int copied = juce::jmin(request.numSamples, sourceLength);
    const int channels = juce::jmin(source->getNumChannels(), request.buffer->getNumChannels());
    for (int channel = 0; channel < channels; ++channel)
    {
        if (copied > 0)
            request.buffer->copyFrom(channel, request.startSample, *source, channel, 0, copied);
        if (request.numSamples > copied)
            request.buffer->clear(channel, request.startSample + copied, request.numSamples - copied);
    }
    if (request.numSamples > sourceLength)
        finished = true;
}
