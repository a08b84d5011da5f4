// The music player: the game reaches it only through these four operations.
#pragma once

bool loadSong(const char* fileName);
bool playSong();
bool stopSong();
bool unloadSong();

// Start-up and process exit: the player is built before anything else of the
// game and torn down after the entry returns.
void constructMusicPlayer();
void teardownMusicPlayer();

// Sees every call of the four operations ("load", "play", "stop", "unload"; the
// argument is the file name for "load", else nullptr), whether or not the
// player is ready. Tests of the scene machine use it.
extern void (*musicObserver)(const char* operation, const char* argument);
