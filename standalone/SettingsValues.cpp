#include "SettingsValues.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

SettingsValues::SettingsValues(const juce::PropertiesFile& settingsToRead) : settings(settingsToRead)
{
}

bool SettingsValues::parseInt(const juce::String& text, int& value)
{
    const auto trimmed = text.trim();
    const char* start = trimmed.toRawUTF8();
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(start, &end, 10);
    if (end == start || *end != 0 || errno == ERANGE || parsed < std::numeric_limits<int>::min()
        || parsed > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool SettingsValues::parseFiniteDouble(const juce::String& text, double& value)
{
    const auto trimmed = text.trim();
    const char* start = trimmed.toRawUTF8();
    char* end = nullptr;
    const double parsed = std::strtod(start, &end);
    if (end == start || *end != 0 || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

bool SettingsValues::getBool(const juce::String& key, bool byDefault) const
{
    return settings.getBoolValue(key, byDefault);
}

int SettingsValues::getInt(const juce::String& key, int byDefault) const
{
    int value = byDefault;
    if (settings.containsKey(key) && parseInt(settings.getValue(key), value))
        return value;
    return byDefault;
}

double SettingsValues::getDouble(const juce::String& key, double byDefault) const
{
    double value = byDefault;
    if (settings.containsKey(key) && parseFiniteDouble(settings.getValue(key), value))
        return value;
    return byDefault;
}

int SettingsValues::getNote(const juce::String& key, int byDefault) const
{
    const int note = getInt(key, byDefault);
    return note >= 0 && note <= 127 ? note : byDefault;
}

juce::String SettingsValues::getString(const juce::String& key, const juce::String& byDefault) const
{
    return settings.getValue(key, byDefault);
}
