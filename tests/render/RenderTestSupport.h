#pragma once

// Support for tests that run batto-render itself on real files in a temporary folder.

#include "TemporaryFolder.h"
#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <vector>

struct RunResult
{
    int exitStatus;
    std::string out;
    std::string err;
};

// Runs batto-render with the arguments (each quoted for the shell) from the folder. The
// shell runs `limits` first (ulimit commands). Every run may write at most a few hundred
// megabytes, so that a render that runs away fails at once instead of filling the disk.
inline RunResult runRender(const std::vector<std::string>& arguments, const juce::File& workingFolder,
                           const std::string& limits = "")
{
    const juce::File out = workingFolder.getNonexistentChildFile("stdout", ".txt");
    const juce::File err = workingFolder.getNonexistentChildFile("stderr", ".txt");
    std::string command = "cd '" + workingFolder.getFullPathName().toStdString() + "' && ulimit -f 409600 && "
                          + limits + " '" BATTO_RENDER_PATH "'";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    command +=
        " >'" + out.getFullPathName().toStdString() + "' 2>'" + err.getFullPathName().toStdString() + "'";
    const int status = std::system(command.c_str());
    RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, out.loadFileAsString().toStdString(),
                     err.loadFileAsString().toStdString()};
    out.deleteFile();
    err.deleteFile();
    return result;
}

struct PlayedNote
{
    int tick; // at 960 ticks per beat
    int velocity;
    int channel = 1;
    int pitch = -1; // -1: the next of a cycle of pitches
};

struct TempoAt
{
    int tick;
    double bpm;
};

// A one-track Standard MIDI File with a tempo map and the notes (each a sixteenth long).
inline void writeMidiFile(const juce::File& file, const std::vector<TempoAt>& tempos,
                          const std::vector<PlayedNote>& notes)
{
    juce::MidiMessageSequence track;
    for (const TempoAt& tempo : tempos)
        track.addEvent(juce::MidiMessage::tempoMetaEvent(juce::roundToInt(60'000'000.0 / tempo.bpm)),
                       tempo.tick);
    int cycle = 0;
    for (const PlayedNote& note : notes)
    {
        const int pitch = note.pitch >= 0 ? note.pitch : 48 + cycle++ % 12;
        track.addEvent(
            juce::MidiMessage::noteOn(note.channel, pitch, static_cast<juce::uint8>(note.velocity)),
            note.tick);
        track.addEvent(juce::MidiMessage::noteOff(note.channel, pitch), note.tick + 240);
    }
    track.updateMatchedPairs();
    juce::MidiFile midiFile;
    midiFile.setTicksPerQuarterNote(960);
    midiFile.addTrack(track);
    file.deleteFile();
    juce::FileOutputStream stream(file);
    ASSERT_TRUE(stream.openedOk());
    ASSERT_TRUE(midiFile.writeTo(stream, 1));
}

// The same with one tempo (or none).
inline void writeMidiFile(const juce::File& file, double tempo, const std::vector<PlayedNote>& notes,
                          bool withTempo = true)
{
    writeMidiFile(file, withTempo ? std::vector<TempoAt>{{0, tempo}} : std::vector<TempoAt>{}, notes);
}

struct CsvRow
{
    long long sample;
    int status;
    int note;
    int velocity;

    bool operator==(const CsvRow& other) const
    {
        return sample == other.sample && status == other.status && note == other.note
               && velocity == other.velocity;
    }
};

inline std::ostream& operator<<(std::ostream& out, const CsvRow& row)
{
    return out << row.sample << "," << row.status << "," << row.note << "," << row.velocity;
}

// The rows of a CSV written by batto-render; the header is checked separately.
inline std::vector<CsvRow> readCsvRows(const juce::File& file)
{
    juce::StringArray lines;
    lines.addLines(file.loadFileAsString());
    lines.removeEmptyStrings();
    std::vector<CsvRow> rows;
    for (int i = 1; i < lines.size(); ++i)
    {
        juce::StringArray cells;
        cells.addTokens(lines[i], ",", "");
        rows.push_back({cells[0].getLargeIntValue(), cells[1].getIntValue(), cells[2].getIntValue(),
                        cells[3].getIntValue()});
    }
    return rows;
}

struct WavContents
{
    double sampleRate = 0;
    int bitsPerSample = 0;
    juce::AudioBuffer<float> audio;
};

inline WavContents readWav(const juce::File& file)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader(
        wav.createReaderFor(new juce::FileInputStream(file), true));
    WavContents contents;
    if (reader == nullptr)
        return contents;
    contents.sampleRate = reader->sampleRate;
    contents.bitsPerSample = static_cast<int>(reader->bitsPerSample);
    contents.audio.setSize(static_cast<int>(reader->numChannels), static_cast<int>(reader->lengthInSamples));
    reader->read(&contents.audio, 0, contents.audio.getNumSamples(), 0, true, true);
    return contents;
}
