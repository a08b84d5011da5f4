// Stand-in until the music player lands: never ready, every call refused.
#include "music/music.h"

void (*musicObserver)(const char* operation, const char* argument) = nullptr;

static void observe(const char* operation, const char* argument) {
  if (musicObserver) musicObserver(operation, argument);
}

bool loadSong(const char* fileName) { observe("load", fileName); return false; }
bool playSong() { observe("play", nullptr); return false; }
bool stopSong() { observe("stop", nullptr); return false; }
bool unloadSong() { observe("unload", nullptr); return false; }
void constructMusicPlayer() {}
void teardownMusicPlayer() {}
