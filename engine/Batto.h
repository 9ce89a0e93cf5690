#pragma once

// The drummer: an engine with no thread, clock or device of its own. It holds the
// whole rhythmic state of one performance and makes every musical decision; its host
// derives from it, drives its clock and answers the pure virtual host interface.
//
// The standalone build's engine clicks a metronome on every beat; the plug-in build
// (BATTO_PLUGIN_BUILD=1) has no metronome, so its host interface ends before
// JouerMetronome and its beat step asks for no click.

#ifndef BATTO_PLUGIN_BUILD
#define BATTO_PLUGIN_BUILD 0
#endif

class Batto
{
public:
    enum Percu
    {
        Snare = 0,
        Kick,
        CHH,
        OHH,
        Ride,
        Crash,
        Crash2,
        HTom,
        MTom,
        LTom,
        numVoices
    };

    static const int drumNoteByDefault[numVoices];

    // One instant of the beat grid. Instants are ordered by (bar, beat, division, half);
    // time takes no part in the order.
    struct instantRythmique
    {
        int bar = 0;
        int beat = 0;
        int division = 0;
        int half = 0;
        int time = 0;

        bool isLaterThan(const instantRythmique& other) const;
    };

    Batto();

    void resetPerformance();
    void noteOnMidiIn(int velocity, int time, int unused);
    int getTimeOfNextSomethingToDo(int unused);
    void doSomething();
    int velociteCritique(int kind, int velocity);

    // Position of an instant in its bar in eighths of a beat, 0..31, for the current
    // subdivision count.
    int positionInBar(const instantRythmique& instant);

    //==============================================================================
    // The host interface, in the order of the virtual table.
    virtual int GetStartLatencyCompensation() = 0;
    virtual void outputJouer(Percu voice, int velocity) = 0;
    virtual ~Batto() = default;
    virtual void incrementeInstantRythmique(instantRythmique* instant);
    virtual int getWaitForTheTimeToUpdateProgressionBarDisplay() = 0;
    virtual int* getDivisionDuTemps() = 0;
    virtual double* getTempo() = 0;
    virtual bool* getAutoKick() = 0;
    virtual bool* getAutoSnare() = 0;
    virtual double GetBreakParam1() = 0;
    virtual double GetBreakParam2() = 0;
    virtual int getOneOrSampleRatePerMs() = 0;
    virtual void updateProgressionBarDisplay() = 0;
    virtual void displayProgressionBar(int position, int divisionDuTemps) = 0;
    virtual void displayBreakCreshendo(int subdivisionsToBarLine) = 0;
    virtual void displayMidiIn(int code) = 0;
    virtual void displayCrashRoulement() = 0;
    virtual void displaySpecialevent(int kind) = 0;
    virtual void setDivisionDuTempsAfterwaitingForATemps(int divisionDuTemps) = 0;
#if !BATTO_PLUGIN_BUILD
    virtual void JouerMetronome(bool accent) = 0;
#endif

    //==============================================================================
    // The engine's state. All fields are read and written only by the thread that
    // drives the engine (the host serialises every call).
    instantRythmique currentInstant;  // the instant a note-on arriving now belongs to
    instantRythmique nextInstant;     // the next instant to reach; time = when it is due
    instantRythmique previousInstant; // nextInstant just before it last advanced
    instantRythmique lastPlayedInstant[numVoices];
    int pendingVelocity[numVoices]; // hits decided before their instant was reached
    instantRythmique lastNoteOnInstant;
    bool noteWindowOpen = true;
    bool instantReached = false;
    int dynamicLevel = 64;
    int phraseFirstBar = 0;
    int noteVelocityHistory[4]; // index 0 is the newest
    int breakState = 0;         // 0 no fill, 2 fill running
    int breakFirstBar = 0;
    int breakStartPosition = 0;
    int breakVelocity = 0;
    int rollIsRegular = 0;
    int rollLastNoteTime = 0;
    int rollNotesPerDivision = 0;
    double divisionDuration = 0.0; // time units per subdivision; written by the host only
    bool useSecondCrash = false;

protected:
    // Plays a voice at currentInstant: at once when the instant is reached, otherwise
    // kept in pendingVelocity until it is.
    void jouer(Percu voice, int velocity);

private:
    struct Thresholds
    {
        double velocity, dynamic, combined;
    };

    Thresholds thresholdsFor(int kind);
    Percu nextCrash();
    void accentCrash(int kind, int velocity);
    const instantRythmique& latestCrashInstant() const;

    void reachInstant();
    void playAutomaticPart();
    void playBeat();
    void showSubdivisionDisplays();
    void stepDynamicLevel();

    bool tryToStartFill(int velocity, int time, int position);
    void followFillPulse(int time, int position);
    void playPositionTable(int velocity, int position);
    void playFill(int velocity, int position);
    void rememberNoteVelocity(int velocity);

    double sixth() const;          // a sixth of a subdivision
    double earlyLead(int r) const; // how early a window opens before its instant
};
