#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

// Decodes one sound from stream into dest at sampleRate, resampling it when the file has
// another rate: a sound of L frames at rate f becomes trunc(L * sampleRate / f + 1) frames.
// The reader made by format takes the stream (it is deleted in every case). Returns false,
// leaving dest as it was, when the stream cannot be read or sampleRate is not usable.
// Allocates: call it outside the audio thread.
bool FillBufferToPlayAux(double sampleRate, juce::AudioBuffer<float>& dest, juce::AudioFormat* format,
                         juce::InputStream* stream);
