#pragma once
// How `main` turns a host's call into an effect: ask the host's version, show the notice,
// build the effect and hand out its record, or null when any of that fails. The notice and
// the effect's class are the plug-in's own and passed in, so that the steps run the same in
// the DLL and in tests.

#include "host/aeffect.h"

class AudioEffect;

using ShowNotice = void (*)();
using CreateEffect = AudioEffect* (*)(audioMasterCallback audioMaster);

// Whichever host thread calls `main`; blocks while the notice is shown.
AEffect* instantiateEffect(audioMasterCallback audioMaster, ShowNotice showNotice,
                           CreateEffect createEffect);
