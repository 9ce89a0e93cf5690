#pragma once

// Shared by the programs that play and listen on a JACK server for the checks and the
// benchmarks.

#include <jack/jack.h>

#include <cerrno>
#include <cstdio>
#include <string>

// Connects two ports; a connection that is already there counts. Says which pair failed.
inline bool connectJackPorts(jack_client_t* client, const std::string& from, const std::string& to)
{
    const int result = jack_connect(client, from.c_str(), to.c_str());
    if (result != 0 && result != EEXIST)
    {
        std::fprintf(stderr, "cannot connect %s to %s\n", from.c_str(), to.c_str());
        return false;
    }
    return true;
}
