#include "SoundTestSupport.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace
{
// A bare X server with no window manager lacks atoms that window managers create and that
// JUCE's windows ask for (WM_STATE): the first window would end the program with an X error.
// One connection that interns them and stays open keeps them for the whole run.
void internWindowManagerAtoms()
{
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == 0)
        return;
    static Display* connection = XOpenDisplay(nullptr);
    if (connection == nullptr)
        return;
    for (const char* name : {"WM_STATE", "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "WM_CHANGE_STATE",
                             "_NET_WM_PING", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_WINDOW_TYPE",
                             "_NET_FRAME_EXTENTS", "_NET_WM_ALLOWED_ACTIONS", "_MOTIF_WM_HINTS"})
        XInternAtom(connection, name, False);
    XSync(connection, False);
}
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    internWindowManagerAtoms();
    ::testing::AddGlobalTestEnvironment(new JuceEnvironment);
    return RUN_ALL_TESTS();
}
