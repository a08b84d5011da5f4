// The bank of thirteen sound effects, played by number.
#pragma once

#include <cstdint>

enum SoundId {
  SoundStar = 0,
  SoundStepOff = 1,
  SoundSwitch = 2,
  SoundLanding = 3,
  SoundBreak = 4,
  SoundClack = 5,
  SoundExtraLife = 6,
  SoundClear = 7,
  SoundDeathFall = 8,
  SoundTurn = 9,
  SoundTimed = 10,
  SoundMiss = 11,
  SoundTimeWarning = 12,
  SoundCount = 13,
};

void initSoundBank();
void playEffect(int id);
void releaseSoundBank();

// The volumes, in percent: the master volume scales both the music's and the
// effects' own. All at 100 the sound is what the files hold.
void setSoundVolume(int masterPercent, int musicPercent, int effectsPercent);
// A paused game is silent: the effects sounding are cut, the music waits.
void pauseSound(bool on);

// Sees every playEffect call, with or without a working bank: tests and the
// simulator's trace use it. nullptr when nobody listens.
extern void (*playEffectObserver)(int id);
