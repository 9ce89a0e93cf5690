#pragma once

#include "Batto.h"

#include <string_view>
#include <vector>

// A host that drives the engine on a millisecond clock (one unit per millisecond) and
// records every host-interface call with the time of the event being processed.
class MillisecondHost : public Batto
{
public:
    struct Call
    {
        std::string_view name; // the host operation
        int time;              // the time of the note-on or due step that caused it
        int a = 0;
        int b = 0;
        int halfStep = 0; // currentInstant counted in half subdivisions from the start
    };

    struct Note
    {
        int time;
        int velocity;
    };

    MillisecondHost(double tempoBpm, int subdivisions);

    using Batto::jouer; // tests play a voice directly

    // Resets the engine and sets its subdivision length, as a host does before a performance.
    void start();
    // Runs the clock up to (not including) endTime, passing the notes (in time order)
    // that fall before each due step.
    void run(const std::vector<Note>& notes, int endTime);
    void setDivisionDuration();

    std::vector<Call> calls;
    std::vector<int> dueTimes; // every due time the engine asked for, in order

    double tempo;
    int divisionDuTemps;
    int pendingDivisionDuTemps = 0;
    bool autoKick = true;
    bool autoSnare = true;
    double velocitySensitivity = 0.5;
    double dynamicSensitivity = 0.5;
    int now = 0;

    int GetStartLatencyCompensation() override;
    void outputJouer(Percu voice, int velocity) override;
    int getWaitForTheTimeToUpdateProgressionBarDisplay() override;
    int* getDivisionDuTemps() override;
    double* getTempo() override;
    bool* getAutoKick() override;
    bool* getAutoSnare() override;
    double GetBreakParam1() override;
    double GetBreakParam2() override;
    int getOneOrSampleRatePerMs() override;
    void updateProgressionBarDisplay() override;
    void displayProgressionBar(int position, int divisions) override;
    void displayBreakCreshendo(int subdivisionsToBarLine) override;
    void displayMidiIn(int code) override;
    void displayCrashRoulement() override;
    void displaySpecialevent(int kind) override;
    void setDivisionDuTempsAfterwaitingForATemps(int divisions) override;
#if !BATTO_PLUGIN_BUILD
    void JouerMetronome(bool accent) override;
#endif

private:
    void record(const char* name, int a = 0, int b = 0);
};
