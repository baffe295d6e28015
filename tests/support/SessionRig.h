#pragma once

// An instrument session talking over COM1 to a simulated instrument on a
// pseudo-terminal, without a window: for the tests of the conversation itself.

#include "instrument/InstrumentSession.h"
#include "tests/support/SimInstrument.h"

#include <memory>

class SessionRig
{
public:
    // Starts the simulator, then opens COM1 through the device map that the
    // simulator put in place; true when the port is open.
    bool start(const SimInstrument::Options &options = {})
    {
        session.reset();
        sim = std::make_unique<SimInstrument>(options);
        if (!sim->start())
            return false;
        session = std::make_unique<InstrumentSession>();
        const bool open = session->selectPort(1);
        session->clearReceiveBuffer();
        sim->clearTranscript();
        return open;
    }

    // Declared in this order so that the session goes before its instrument.
    std::unique_ptr<SimInstrument> sim;
    std::unique_ptr<InstrumentSession> session;
};
