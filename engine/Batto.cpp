#include "Batto.h"

#include <algorithm>
#include <cstdlib>

const int Batto::drumNoteByDefault[Batto::numVoices] = {38, 36, 42, 46, 51, 49, 50, 45, 43, 41};

namespace
{
// Every conversion of a double to an engine int truncates toward zero.
int trunc(double value)
{
    return static_cast<int>(value);
}

const Batto::instantRythmique neverHappened{-1, 0, 0, 0, 0};
} // namespace

bool Batto::instantRythmique::isLaterThan(const instantRythmique& other) const
{
    if (bar != other.bar)
        return bar > other.bar;
    if (beat != other.beat)
        return beat > other.beat;
    if (division != other.division)
        return division > other.division;
    return half > other.half;
}

Batto::Batto()
{
    for (int voice = 0; voice < numVoices; ++voice)
        pendingVelocity[voice] = 0;
    for (int& velocity : noteVelocityHistory)
        velocity = 90;
}

void Batto::resetPerformance()
{
    dynamicLevel = 90;
    phraseFirstBar = 0;
    breakState = 0;
    lastNoteOnInstant = neverHappened;
    for (int voice = 0; voice < numVoices; ++voice)
    {
        lastPlayedInstant[voice] = neverHappened;
        pendingVelocity[voice] = 0;
    }
    for (int& velocity : noteVelocityHistory)
        velocity = 90;
    currentInstant = instantRythmique{};
    previousInstant = instantRythmique{};
    nextInstant = instantRythmique{0, 0, 0, 0, GetStartLatencyCompensation()};
    noteWindowOpen = true;
    instantReached = false;
}

int Batto::positionInBar(const instantRythmique& instant)
{
    const int divisions = *getDivisionDuTemps();
    return instant.beat * 8 + (instant.division * 8 + (instant.half > 0 ? 4 : 0)) / divisions;
}

void Batto::jouer(Percu voice, int velocity)
{
    if (!instantReached)
    {
        pendingVelocity[voice] = std::max(pendingVelocity[voice], velocity);
        return;
    }
    if (!currentInstant.isLaterThan(lastPlayedInstant[voice]))
        return; // the first decision for an instant wins
    outputJouer(voice, velocity);
    lastPlayedInstant[voice] = currentInstant;
    if (voice == OHH)
        lastPlayedInstant[CHH] = currentInstant; // an open hi-hat silences the closed one
}

//==============================================================================
// The clock

void Batto::incrementeInstantRythmique(instantRythmique* instant)
{
    instant->half = (instant->half + 1) % 2;
    instant->time = trunc(instant->time + divisionDuration * 0.5);
    if (instant->half != 0)
        return;
    instant->division = (instant->division + 1) % *getDivisionDuTemps();
    if (instant->division != 0)
        return;
    instant->beat = (instant->beat + 1) % 4;
    if (instant->beat == 0)
        instant->bar += 1;
}

double Batto::sixth() const
{
    return divisionDuration / 6;
}

double Batto::earlyLead(int r) const
{
    return std::min(sixth() - 2 * r, 105.0 * r);
}

int Batto::getTimeOfNextSomethingToDo(int)
{
    const int r = getOneOrSampleRatePerMs();
    const double s = sixth();
    const double early = earlyLead(r);
    const instantRythmique& B = nextInstant;
    const instantRythmique& C = previousInstant;

    if (!noteWindowOpen && !instantReached) // the early window of B opens
        return trunc(B.time - early);
    if (noteWindowOpen && !instantReached) // B is reached
        return B.time - std::min(0, trunc(0.9 * early));
    if (noteWindowOpen && instantReached) // the late window of C closes
        return C.half == 0 ? trunc(C.time + std::min(s - 2 * r, 108.0 * r))
                           : trunc(C.time + s + std::min(s - 2 * r, 105.0 * r));
    // the midpoint between C and B; the two times are added as integers
    return trunc((s * C.half + (B.time + C.time)) * 0.5);
}

void Batto::doSomething()
{
    if (!noteWindowOpen && !instantReached)
    {
        noteWindowOpen = true;
    }
    else if (noteWindowOpen && !instantReached)
    {
        reachInstant();
    }
    else if (noteWindowOpen && instantReached)
    {
        noteWindowOpen = false;
        currentInstant = nextInstant;
    }
    else
    {
        currentInstant = nextInstant;
        instantReached = false;
    }
    stepDynamicLevel();
}

void Batto::reachInstant()
{
    instantReached = true;
    for (int voice = 0; voice < numVoices; ++voice)
    {
        if (pendingVelocity[voice] != 0)
        {
            jouer(static_cast<Percu>(voice), pendingVelocity[voice]);
            pendingVelocity[voice] = 0;
        }
    }
    if (currentInstant.half == 0)
        playAutomaticPart();
    previousInstant = nextInstant;
    incrementeInstantRythmique(&nextInstant);
}

void Batto::playAutomaticPart()
{
    const instantRythmique& A = currentInstant;
    const int D = dynamicLevel / 2 + 59;
    const int divisions = *getDivisionDuTemps();

    if (A.bar == phraseFirstBar + 1 && positionInBar(A) == 32 - 8 / divisions)
    {
        jouer(OHH, D); // the last subdivision of a two-bar phrase
    }
    else if (A.bar == phraseFirstBar && A.bar != 0 && A.beat == 0 && A.division == 0)
    {
        jouer(Ride, D); // the first beat of a phrase
    }
    else
    {
        const int r = getOneOrSampleRatePerMs();
        double factor = 1.0;
        if (A.division % 2 != 0 && !(divisionDuration > 400 * r))
            factor = divisionDuration / (400 * r); // softer off-beats when subdivisions are short

        // A crash struck in the middle of the previous beat rings over this beat.
        const instantRythmique& K = latestCrashInstant();
        const bool crashRingsOver = A.division == 0 && K.bar == (A.beat == 0 ? A.bar - 1 : A.bar)
                                    && K.beat == (A.beat + 3) % 4 && 2 * K.division + K.half == divisions;
        if (!crashRingsOver)
            jouer(CHH, trunc(factor * D));
    }

    if (A.division == 0)
        playBeat();
    showSubdivisionDisplays();
}

void Batto::playBeat()
{
    const instantRythmique& A = currentInstant;
    const int D = dynamicLevel / 2 + 59;

#if !BATTO_PLUGIN_BUILD
    JouerMetronome(A.beat == 0);
#endif

    if (getWaitForTheTimeToUpdateProgressionBarDisplay() != 0)
        setDivisionDuTempsAfterwaitingForATemps(getWaitForTheTimeToUpdateProgressionBarDisplay());

    // The phrase moves on when the player kept silent for the whole previous bar.
    const int barsIntoPhrase = A.bar - phraseFirstBar;
    if (lastNoteOnInstant.bar < A.bar - 1 && barsIntoPhrase > 0 && barsIntoPhrase % 2 == 0)
        phraseFirstBar = A.bar;

    const bool autoKick = *getAutoKick();
    const bool autoSnare = *getAutoSnare();
    switch (A.beat)
    {
    case 0:
        if (positionInBar(lastPlayedInstant[Kick]) != 28 && autoKick)
            jouer(Kick, D);
        if (breakState == 2) // a fill reaches the bar line
        {
            jouer(Ride, D);
            breakState = 0;
            displayBreakCreshendo(0);
            phraseFirstBar = A.bar;
        }
        break;
    case 1:
    case 3:
    {
        const int snarePickUp = A.beat == 1 ? 6 : 22;
        if (breakState != 0 && autoKick)
            jouer(Kick, D);
        else if (positionInBar(lastPlayedInstant[Snare]) != snarePickUp && autoSnare)
            jouer(Snare, D);
        break;
    }
    case 2:
        if (positionInBar(lastPlayedInstant[Kick]) != 12 && autoKick)
            jouer(Kick, D);
        break;
    default:
        break;
    }
}

void Batto::showSubdivisionDisplays()
{
    const int divisions = *getDivisionDuTemps();
    const int position = positionInBar(nextInstant);
    if (breakState != 0)
    {
        const int toBarLine = 32 - position;
        const int perSubdivision = 8 / divisions;
        if (toBarLine % perSubdivision == 0 && toBarLine / perSubdivision > 0)
            displayBreakCreshendo(toBarLine / perSubdivision);
    }
    displayProgressionBar(position, divisions);
}

void Batto::stepDynamicLevel()
{
    const int step = trunc(750 / (*getDivisionDuTemps() * *getTempo()));
    int delta = 0;
    if (dynamicLevel > noteVelocityHistory[0])
        delta = -std::min(dynamicLevel - noteVelocityHistory[0], step);
    if (noteVelocityHistory[3] > dynamicLevel)
        delta += std::min(noteVelocityHistory[3] - dynamicLevel, step);
    dynamicLevel += delta;
}

//==============================================================================
// Note-on analysis

Batto::Thresholds Batto::thresholdsFor(int kind)
{
    double a = 53, b = 10;
    if (kind == 4)
        a = 103, b = 20;
    else if (kind == 3)
        a = 83, b = 20;

    const double p1 = GetBreakParam1();
    const double p2 = GetBreakParam2();
    const double velocityThreshold = 128 - p1 * 128 + p1 * a;
    const double dynamicThreshold = (1 - p2) * (128 - dynamicLevel) + p2 * b + dynamicLevel;

    const double hi = std::max(velocityThreshold, dynamicThreshold);
    const double lo = std::min(velocityThreshold, dynamicThreshold);
    double combined = lo;
    if (lo > hi - (128 - hi)) // close headrooms add up to more than either
        combined = 128 - 3 * (128 - lo) * (128 - hi) / ((128 - lo) + (128 - hi));
    return {velocityThreshold, dynamicThreshold, combined};
}

int Batto::velociteCritique(int kind, int velocity)
{
    const Thresholds t = thresholdsFor(kind);
    if (velocity == -1)
        return trunc(t.combined);

    bool crossed = false;
    if (velocity > t.velocity)
    {
        displaySpecialevent(0);
        crossed = true;
    }
    if (velocity > t.dynamic)
    {
        displaySpecialevent(1);
        return 1;
    }
    if (crossed)
        return 1;
    if (trunc(t.combined) < velocity)
    {
        displaySpecialevent(2);
        return 1;
    }
    return 0;
}

Batto::Percu Batto::nextCrash()
{
    const Percu voice = useSecondCrash ? Crash2 : Crash;
    useSecondCrash = !useSecondCrash;
    return voice;
}

void Batto::accentCrash(int kind, int velocity)
{
    const Percu voice = nextCrash();
    const int threshold = velociteCritique(kind, -1);
    // The part of the note above the threshold, stretched to 0..127, mapped to 59..122.
    jouer(voice, ((velocity - threshold) * 127 / (127 - threshold)) / 2 + 59);
}

const Batto::instantRythmique& Batto::latestCrashInstant() const
{
    const instantRythmique& first = lastPlayedInstant[Crash];
    const instantRythmique& second = lastPlayedInstant[Crash2];
    return second.isLaterThan(first) ? second : first;
}

void Batto::noteOnMidiIn(int velocity, int time, int)
{
    if (!noteWindowOpen)
    {
        displayMidiIn(4 | (instantReached ? 1 : 0)); // between windows: ignored
        return;
    }

    const int position = positionInBar(currentInstant);
    tryToStartFill(velocity, time, position);
    if (breakState == 2 && rollIsRegular == 1)
        followFillPulse(time, position);

    if (breakState != 0)
        playFill(velocity, position);
    else
        playPositionTable(velocity, position);

    rememberNoteVelocity(velocity);
    displayMidiIn((instantReached ? 1 : 0) | 2 * currentInstant.half);
}

bool Batto::tryToStartFill(int velocity, int time, int position)
{
    const instantRythmique& A = currentInstant;
    const bool firstInstantOfBar = A.beat + A.division + A.half == 0;
    const bool accentPosition = position % 16 == 6 || position % 16 == 12;
    if (firstInstantOfBar || accentPosition || breakState != 0 || A.bar <= phraseFirstBar)
        return false;
    if (!(lastPlayedInstant[Kick].bar == A.bar || velocity < velociteCritique(4, -1)))
        return false;

    // A crash off the bar line in this bar makes a fill easier.
    const instantRythmique& K = latestCrashInstant();
    const bool crashOffBarLine = K.bar == A.bar && K.beat + K.division + K.half > 0;
    const int judgedVelocity = crashOffBarLine ? velocity + 10 : velocity;
    if (velociteCritique(4, judgedVelocity) != 1)
        return false;

    breakState = 2;
    breakFirstBar = A.bar;
    breakStartPosition = position;
    breakVelocity = velociteCritique(4, -1);
    rollIsRegular = 1;
    rollLastNoteTime = time;
    rollNotesPerDivision = A.half == 1 ? 2 : -1;
    return true;
}

void Batto::followFillPulse(int time, int position)
{
    const int divisions = *getDivisionDuTemps();
    if (rollNotesPerDivision == -1)
    {
        const int sinceStart = position - breakStartPosition;
        if (sinceStart > 0)
        {
            if (sinceStart == 4 / divisions)
                rollNotesPerDivision = 2;
            else if (sinceStart == 8 / divisions)
                rollNotesPerDivision = 1;
            else
                rollIsRegular = 0;
        }
    }
    if (rollNotesPerDivision > 0)
    {
        // Notes closer than 25 ms (chords, flams) are never held against the pulse.
        const int r = getOneOrSampleRatePerMs();
        const int sinceLastNote = time - rollLastNoteTime;
        if (sinceLastNote > 25 * r
            && std::abs(sinceLastNote - divisionDuration / rollNotesPerDivision) > 25 * r)
            rollIsRegular = 0;
        rollLastNoteTime = time;
    }
}

void Batto::playPositionTable(int velocity, int position)
{
    const instantRythmique& A = currentInstant;
    const int D = dynamicLevel / 2 + 59;
    const int M = std::max(dynamicLevel, velocity) / 2 + 59;

    // A snare on a pick-up sixteenth only when the snare just struck the one before.
    auto snareOrKickPickUp = [&](int previousSnarePosition)
    {
        if (positionInBar(lastPlayedInstant[Snare]) == previousSnarePosition
            && velociteCritique(1, velocity) == 1)
            jouer(Snare, D);
        else
            jouer(Kick, M);
    };

    switch (position)
    {
    case 0:
        jouer(Kick, D);
        if (velociteCritique(3, velocity) == 1)
        {
            accentCrash(3, velocity);
            if (breakFirstBar == A.bar - 1)
                displayCrashRoulement();
        }
        break;
    case 2:
        snareOrKickPickUp(30);
        break;
    case 18:
        snareOrKickPickUp(14);
        break;
    case 6:
    case 22:
        if (velociteCritique(4, velocity) == 1)
        {
            jouer(Snare, M);
            accentCrash(4, velocity);
        }
        else
        {
            jouer(Kick, M);
        }
        break;
    case 8:
        jouer(Snare, D);
        if (lastPlayedInstant[Kick].bar < A.bar && velociteCritique(4, velocity) == 1)
            accentCrash(4, velocity);
        break;
    case 12:
    case 28:
        jouer(Kick, D);
        if (velociteCritique(4, velocity) == 1)
            accentCrash(4, velocity);
        break;
    case 14:
    case 30:
        if (velociteCritique(1, velocity) == 1)
            jouer(Snare, D);
        else
            jouer(Kick, M);
        break;
    case 16:
        jouer(Kick, D);
        if (latestCrashInstant().bar == A.bar && velociteCritique(3, velocity) == 1)
            accentCrash(3, velocity);
        break;
    case 24:
        jouer(Snare, D);
        break;
    default:
        jouer(Kick, M);
        break;
    }
}

void Batto::playFill(int velocity, int position)
{
    const instantRythmique& A = currentInstant;
    const int M = std::max(dynamicLevel, velocity) / 2 + 59;
    const int r = getOneOrSampleRatePerMs();
    const int divisions = *getDivisionDuTemps();
    const double eighthOfBeat = divisionDuration * 0.125;

    bool crashRoll = false;
    if (position == 0)
    {
        const double sinceStart =
            eighthOfBeat * ((A.bar - breakFirstBar) * 32 - breakStartPosition) * divisions;
        crashRoll = (sinceStart > 500 * r && (velocity > 90 || breakVelocity + 20 < velocity))
                    || velociteCritique(3, velocity) == 1;
        if (crashRoll)
            phraseFirstBar = A.bar;
    }
    else if (position == 28)
    {
        const double sinceStart =
            eighthOfBeat * ((A.bar * 32 + 28) - breakFirstBar * 32 - breakStartPosition) * divisions;
        crashRoll = (sinceStart > 1000 * r && (velocity > 120 || breakVelocity + 60 < velocity))
                    || velociteCritique(4, velocity) == 1;
        if (crashRoll)
            phraseFirstBar = A.bar + 1; // the crash anticipates the bar that opens the phrase
    }

    Percu voice;
    if (crashRoll)
    {
        breakState = 0;
        displayCrashRoulement();
        voice = nextCrash();
    }
    else
    {
        if (A.bar == breakFirstBar && position == breakStartPosition && velocity > breakVelocity)
            breakVelocity = velocity; // the loudest note of the fill's first instant

        if (position % 16 == 8 && breakVelocity > velocity)
            voice = Snare;
        else if (position == 0)
            voice = Kick;
        else if (rollIsRegular != 0 && position != breakStartPosition)
            voice = position <= 23 ? Snare : (position <= 27 ? MTom : LTom);
        else
            voice = position <= 16 ? HTom : (position <= 27 ? MTom : LTom);
    }

    jouer(voice, M);
    if (rollIsRegular != 0 && A.half == 0)
        jouer(Kick, M);
}

void Batto::rememberNoteVelocity(int velocity)
{
    if (currentInstant.isLaterThan(lastNoteOnInstant))
    {
        noteVelocityHistory[3] = noteVelocityHistory[2];
        noteVelocityHistory[2] = noteVelocityHistory[1];
        noteVelocityHistory[1] = noteVelocityHistory[0];
        noteVelocityHistory[0] = velocity;
        lastNoteOnInstant = currentInstant;
    }
    else if (velocity > noteVelocityHistory[0])
    {
        noteVelocityHistory[0] = velocity; // a chord counts once, with its loudest note
    }
}
