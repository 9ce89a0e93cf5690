#pragma once

#include <juce_data_structures/juce_data_structures.h>

// Reads the values of the settings file. A missing key gives the default; so does a value
// that would make no sense to the drummer's engine (a number that is no number, a double
// that is not finite, a MIDI note outside 0..127). Every other value is used as read.
class SettingsValues
{
public:
    explicit SettingsValues(const juce::PropertiesFile& settings);

    bool getBool(const juce::String& key, bool byDefault) const;
    int getInt(const juce::String& key, int byDefault) const;
    double getDouble(const juce::String& key, double byDefault) const;
    int getNote(const juce::String& key, int byDefault) const; // 0..127
    juce::String getString(const juce::String& key, const juce::String& byDefault) const;

    // The whole text is a decimal integer / a finite number.
    static bool parseInt(const juce::String& text, int& value);
    static bool parseFiniteDouble(const juce::String& text, double& value);

private:
    const juce::PropertiesFile& settings;
};
