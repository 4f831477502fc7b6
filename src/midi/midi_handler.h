#pragma once

#include "midi/platform/mmsystem.h"

// The platform callback of both port kinds, run on the platform's MIDI thread.
// dwInstance is the port's TMidiNotifyBlock. It only hands messages on to the
// port's notification window and never waits.
void midiHandler(HDRVR hdl, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                 DWORD_PTR dwParam2);
