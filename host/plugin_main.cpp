#include "host/plugin_main.h"

#include "host/audio_effect.h"
#include "host/out_of_memory.h"

AEffect* instantiateEffect(audioMasterCallback audioMaster, ShowNotice showNotice,
                           CreateEffect createEffect) {
  // Without a callback there is no host to ask: refuse rather than call through null.
  if (audioMaster == nullptr) return nullptr;
  if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;

  showNotice();

  AudioEffect* effect = createEffect(audioMaster);
  if (effect == nullptr) return nullptr;
  if (outOfMemory) {
    delete effect;
    return nullptr;
  }
  return effect->getAeffect();
}
