// Stand-in until the effect bank lands: silent, but every call is observable.
#include "sound/sound.h"

uint8_t bankReady = 0;
void (*playEffectObserver)(int id) = nullptr;

void initSoundBank() { bankReady = 0; }

void playEffect(int id) {
  if (playEffectObserver) playEffectObserver(id);
}

void releaseSoundBank() { bankReady = 0; }
