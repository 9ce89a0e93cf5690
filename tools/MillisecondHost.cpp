#include "MillisecondHost.h"

MillisecondHost::MillisecondHost(double tempoBpm, int subdivisions)
    : tempo(tempoBpm), divisionDuTemps(subdivisions)
{
    calls.reserve(4096);
    dueTimes.reserve(4096);
    setDivisionDuration();
}

void MillisecondHost::setDivisionDuration()
{
    divisionDuration = 60000.0 / (divisionDuTemps * tempo);
}

void MillisecondHost::start()
{
    resetPerformance();
    setDivisionDuration();
}

void MillisecondHost::run(const std::vector<Note>& notes, int endTime)
{
    size_t nextNote = 0;
    while (nextNote < notes.size() && notes[nextNote].time < now)
        ++nextNote; // notes before the clock's present were already passed
    for (;;)
    {
        const int due = getTimeOfNextSomethingToDo(0);
        for (; nextNote < notes.size() && notes[nextNote].time < due && notes[nextNote].time < endTime;
             ++nextNote)
        {
            now = notes[nextNote].time;
            noteOnMidiIn(notes[nextNote].velocity, now, 0);
        }
        if (due >= endTime)
            break;
        dueTimes.push_back(due);
        now = std::max(now, due);
        doSomething();
    }
    now = endTime;
}

void MillisecondHost::record(const char* name, int a, int b)
{
    const instantRythmique& i = currentInstant;
    const int halfStep = (((i.bar * 4 + i.beat) * divisionDuTemps) + i.division) * 2 + i.half;
    calls.push_back({name, now, a, b, halfStep});
}

int MillisecondHost::GetStartLatencyCompensation()
{
    return 0;
}

void MillisecondHost::outputJouer(Percu voice, int velocity)
{
    record("outputJouer", voice, velocity);
}

int MillisecondHost::getWaitForTheTimeToUpdateProgressionBarDisplay()
{
    return pendingDivisionDuTemps;
}

int* MillisecondHost::getDivisionDuTemps()
{
    return &divisionDuTemps;
}

double* MillisecondHost::getTempo()
{
    return &tempo;
}

bool* MillisecondHost::getAutoKick()
{
    return &autoKick;
}

bool* MillisecondHost::getAutoSnare()
{
    return &autoSnare;
}

double MillisecondHost::GetBreakParam1()
{
    return velocitySensitivity;
}

double MillisecondHost::GetBreakParam2()
{
    return dynamicSensitivity;
}

int MillisecondHost::getOneOrSampleRatePerMs()
{
    return 1;
}

void MillisecondHost::updateProgressionBarDisplay()
{
    record("updateProgressionBarDisplay");
}

void MillisecondHost::displayProgressionBar(int position, int divisions)
{
    record("displayProgressionBar", position, divisions);
}

void MillisecondHost::displayBreakCreshendo(int subdivisionsToBarLine)
{
    record("displayBreakCreshendo", subdivisionsToBarLine);
}

void MillisecondHost::displayMidiIn(int code)
{
    record("displayMidiIn", code);
}

void MillisecondHost::displayCrashRoulement()
{
    record("displayCrashRoulement");
}

void MillisecondHost::displaySpecialevent(int kind)
{
    record("displaySpecialevent", kind);
}

void MillisecondHost::setDivisionDuTempsAfterwaitingForATemps(int divisions)
{
    record("setDivisionDuTempsAfterwaitingForATemps", divisions);
    divisionDuTemps = divisions;
    setDivisionDuration();
    pendingDivisionDuTemps = 0;
}

#if !BATTO_PLUGIN_BUILD
void MillisecondHost::JouerMetronome(bool accent)
{
    record("JouerMetronome", accent ? 1 : 0);
}
#endif
