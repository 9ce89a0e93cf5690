#include <X11/Xlib.h>

#include <cstdio>

namespace
{
int reportXError(Display*, XErrorEvent* error)
{
    static int reported = 0;
    if (reported++ < 3)
        std::fprintf(stderr, "X error %d (request %d) ignored, as hosts do\n", error->error_code,
                     error->request_code);
    return 0;
}
} // namespace

// Every GUI host installs an X error handler (the toolkits do; the framework does for its
// applications), and a plug-in's windows share the process with it. Without a window
// manager (Xvfb), asking a window's state names an atom that does not exist yet; Xlib's
// default handler would end the process.
void installHostXErrorHandler()
{
    XSetErrorHandler(reportXError);
}
