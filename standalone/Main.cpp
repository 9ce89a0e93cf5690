// The standalone drummer's entry point: the framework's application main runs a
// BattoStandAloneApplication until it quits. The command line is ignored.
#include "BattoStandAloneApplication.h"

START_JUCE_APPLICATION(BattoStandAloneApplication)
