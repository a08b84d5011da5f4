// The music player: the game reaches it only through these four operations.
#pragma once

bool loadSong(const char* fileName);
bool playSong();
bool stopSong();
bool unloadSong();

// A pause of the whole game: the song stops where it is, sends nothing more,
// and goes on from there on release, its schedule moved on by the pause
// rather than caught up. Holding also covers a song that starts meanwhile.
// True when a song was playing.
bool holdSong();
// True when the song was held.
bool releaseHeldSong();

// Start-up and process exit: the player is built before anything else of the
// game and torn down after the entry returns.
void constructMusicPlayer();
void teardownMusicPlayer();

// Sees every call of the four operations ("load", "play", "stop", "unload"; the
// argument is the file name for "load", else nullptr), whether or not the
// player is ready. Tests of the scene machine use it.
extern void (*musicObserver)(const char* operation, const char* argument);
