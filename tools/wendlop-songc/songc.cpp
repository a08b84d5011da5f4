#include "songc.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

namespace songc {
namespace {

struct Token {
  std::string text;
  int line = 0;
};

// Thrown inside the compiler only; compileSong turns it into the result's error.
struct Failure {
  int line;
  std::string message;
};

[[noreturn]] void fail(int line, std::string message) { throw Failure{line, std::move(message)}; }

struct Note {
  int tick;
  int length;  // sounding length in ticks, at least 1
  int pitch;
  int velocity;
  int line;
};

struct Track {
  std::string name;
  int line = 0;
  int channel = 0;  // 1..16; 0 until set
  int program = 0;
  int volume = 100;
  int expression = 127;
  int pan = 64;
  int reverb = 40;
  int chorus = 0;
  std::vector<Note> notes;
  int endTick = 0;
};

struct Song {
  int tempo = 120;
  int division = 96;
  int meterNum = 4;
  int meterDen = 4;
  std::map<std::string, std::vector<Token>> patterns;
  std::vector<Track> tracks;
  int loopTick = -1;
  int loopLine = 0;
  long long steps = 0;  // tokens played and pattern repeats, over all tracks
};

// Where a track's reading has got to while its tokens are played.
struct Cursor {
  Track* track = nullptr;
  int tick = 0;
  int velocity = 100;
  int gate = 90;       // percent of a note's written length that sounds
  int lastLength = 0;  // a note or rest without a length takes the one before it
  bool started = false;
};

constexpr int kMaxTicks = 1 << 26;  // far beyond any song, far below overflow
// Nested repeats multiply; a source of a few lines could otherwise ask for years of work.
constexpr long long kMaxSteps = 4'000'000;
constexpr size_t kMaxPatternDepth = 64;
// The game's player holds all track data of a song in one buffer of this size.
constexpr size_t kPlayerBufferBytes = 1 << 20;

std::vector<Token> tokenize(const std::string& text) {
  std::vector<Token> out;
  int line = 1;
  size_t i = 0;
  auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (i < text.size()) {
    char c = text[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (isSpace(c)) {
      ++i;
    } else if (c == ';') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '[') {
      out.push_back({"[", line});
      ++i;
    } else {
      // A ']' opens a token of its own so that the chord's length stays attached to it.
      size_t start = i++;
      while (i < text.size() && !isSpace(text[i]) && text[i] != ';' && text[i] != '[' && text[i] != ']') ++i;
      out.push_back({text.substr(start, i - start), line});
    }
  }
  return out;
}

bool parseNumber(const std::string& s, int& value) {
  if (s.empty() || s.size() > 9) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

int numberIn(const Token& t, const std::string& s, int lo, int hi, const char* what) {
  int v = 0;
  if (!parseNumber(s, v) || v < lo || v > hi)
    fail(t.line, std::string(what) + " must be a number from " + std::to_string(lo) + " to " +
                     std::to_string(hi) + ", not '" + s + "'");
  return v;
}

// "4", "8.", "8t", "2+8", "4..": whole = 1, half = 2, ...; a dot adds half of
// the last part again, 't' makes it a triplet, '+' ties lengths together.
int parseLength(const Token& t, const std::string& s, int division) {
  if (s.empty()) fail(t.line, "missing length after ':' in '" + t.text + "'");
  int total = 0;
  size_t i = 0;
  while (true) {
    size_t start = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    int n = 0;
    if (!parseNumber(s.substr(start, i - start), n) || (n != 1 && n != 2 && n != 4 && n != 8 && n != 16 && n != 32 && n != 64))
      fail(t.line, "bad length in '" + t.text + "' (use 1, 2, 4, 8, 16, 32 or 64)");
    int whole = 4 * division;
    if (whole % n != 0) fail(t.line, "length 1/" + std::to_string(n) + " does not fit the division");
    int part = whole / n;
    int add = part;
    while (i < s.size() && s[i] == '.') {
      if (add % 2 != 0) fail(t.line, "dotted length in '" + t.text + "' does not fit the division");
      add /= 2;
      part += add;
      ++i;
    }
    if (i < s.size() && s[i] == 't') {
      if ((part * 2) % 3 != 0) fail(t.line, "triplet length in '" + t.text + "' does not fit the division");
      part = part * 2 / 3;
      ++i;
    }
    total += part;
    if (total > kMaxTicks) fail(t.line, "length too long in '" + t.text + "'");
    if (i == s.size()) return total;
    if (s[i] != '+') fail(t.line, "bad length in '" + t.text + "'");
    ++i;
  }
}

const std::map<std::string, int>& drumNames() {
  static const std::map<std::string, int> names = {
      {"kick", 36},   {"kick2", 35}, {"stick", 37}, {"snare", 38},  {"clap", 39},  {"esnare", 40},
      {"tom1", 41},   {"hat", 42},   {"tom2", 43},  {"phat", 44},   {"tom3", 45},  {"ohat", 46},
      {"tom4", 47},   {"tom5", 48},  {"crash", 49}, {"tom6", 50},   {"ride", 51},  {"china", 52},
      {"bell", 53},   {"tamb", 54},  {"splash", 55}, {"cowbell", 56}, {"crash2", 57}, {"ride2", 59},
      {"bongo", 60},  {"bongo2", 61}, {"conga", 63}, {"shaker", 70}, {"claves", 75}, {"block", 76},
      {"block2", 77}, {"tri", 81},   {"mtri", 80},  {"chimes", 84}, {"cabasa", 69},
  };
  return names;
}

// A pitch: "c4" is middle C (60), "f#3", "bb2", "c-1"; a drum name; or "n36".
// Pitch names move with the pattern's transposition, drum names and numbers do not.
int parsePitch(const Token& t, const std::string& s, int transpose) {
  auto drum = drumNames().find(s);
  if (drum != drumNames().end()) return drum->second;
  int value = 0;
  if (s.size() > 1 && s[0] == 'n') {
    value = numberIn(t, s.substr(1), 0, 127, "a note number");
    return value;
  }
  static const int semitone[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  if (s.empty() || s[0] < 'a' || s[0] > 'g') fail(t.line, "unknown note '" + s + "'");
  value = semitone[s[0] - 'a'];
  size_t i = 1;
  if (i < s.size() && (s[i] == '#' || s[i] == 'b')) {
    value += s[i] == '#' ? 1 : -1;
    ++i;
  }
  bool negative = false;
  if (i < s.size() && s[i] == '-') {
    negative = true;
    ++i;
  }
  int octave = 0;
  if (!parseNumber(s.substr(i), octave) || octave > 9) fail(t.line, "unknown note '" + s + "'");
  if (negative) octave = -octave;
  int pitch = 12 * (octave + 1) + value + transpose;
  if (pitch < 0 || pitch > 127) fail(t.line, "note '" + s + "' lies outside the MIDI range");
  return pitch;
}

// Splits "c4:8!90" into its pitch, length and velocity parts (either suffix may be missing).
void splitNote(const std::string& s, std::string& head, std::string& length, std::string& velocity,
               bool& hasLength, bool& hasVelocity) {
  size_t colon = s.find(':');
  size_t bang = s.find('!');
  size_t headEnd = std::min(colon, bang);
  head = s.substr(0, headEnd);
  hasLength = colon != std::string::npos;
  hasVelocity = bang != std::string::npos;
  if (hasLength) length = s.substr(colon + 1, (bang != std::string::npos && bang > colon ? bang : s.size()) - colon - 1);
  if (hasVelocity) velocity = s.substr(bang + 1, (colon != std::string::npos && colon > bang ? colon : s.size()) - bang - 1);
}

void addNote(Cursor& cur, const Token& t, int pitch, int length, int velocity) {
  int sounding = std::max(1, static_cast<int>(static_cast<long long>(length) * cur.gate / 100));
  cur.track->notes.push_back({cur.tick, sounding, pitch, velocity, t.line});
}

void advance(Cursor& cur, const Token& t, int length) {
  cur.tick += length;
  if (cur.tick > kMaxTicks) fail(t.line, "track '" + cur.track->name + "' is too long");
}

void setTrackSetting(Cursor& cur, const Token& t) {
  size_t eq = t.text.find('=');
  std::string key = t.text.substr(0, eq);
  std::string value = t.text.substr(eq + 1);
  Track& tr = *cur.track;
  if (key == "vel") {
    cur.velocity = numberIn(t, value, 1, 127, "vel");
    return;
  }
  if (key == "gate") {
    cur.gate = numberIn(t, value, 1, 100, "gate");
    return;
  }
  if (cur.started) fail(t.line, "'" + key + "' belongs before the first note of the track");
  if (key == "channel") tr.channel = numberIn(t, value, 1, 16, "channel");
  else if (key == "program") tr.program = numberIn(t, value, 0, 127, "program");
  else if (key == "volume") tr.volume = numberIn(t, value, 0, 127, "volume");
  else if (key == "expression") tr.expression = numberIn(t, value, 0, 127, "expression");
  else if (key == "pan") tr.pan = numberIn(t, value, 0, 127, "pan");
  else if (key == "reverb") tr.reverb = numberIn(t, value, 0, 127, "reverb");
  else if (key == "chorus") tr.chorus = numberIn(t, value, 0, 127, "chorus");
  else fail(t.line, "unknown setting '" + key + "'");
}

void playTokens(Song& song, Cursor& cur, const std::vector<Token>& tokens, int transpose,
                std::vector<std::string>& callers);

void callPattern(Song& song, Cursor& cur, const Token& t, int transpose, std::vector<std::string>& callers) {
  const std::string& s = t.text;
  size_t i = 1;
  while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
  std::string name = s.substr(1, i - 1);
  int shift = 0;
  int times = 1;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    bool down = s[i] == '-';
    size_t start = ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    shift = numberIn(t, s.substr(start, i - start), 0, 127, "a transposition");
    if (down) shift = -shift;
  }
  if (i < s.size() && s[i] == '*') {
    times = numberIn(t, s.substr(i + 1), 1, 999, "a repeat count");
    i = s.size();
  }
  if (i != s.size()) fail(t.line, "bad pattern call '" + s + "' (write @name, @name+2, @name*4 or @name-5*2)");
  auto found = song.patterns.find(name);
  if (found == song.patterns.end()) fail(t.line, "no pattern named '" + name + "'");
  if (std::find(callers.begin(), callers.end(), name) != callers.end())
    fail(t.line, "pattern '" + name + "' calls itself");
  if (callers.size() >= kMaxPatternDepth) fail(t.line, "patterns nested too deeply");
  callers.push_back(name);
  for (int k = 0; k < times; ++k) {
    if (++song.steps > kMaxSteps) fail(t.line, "the song expands to too many notes");
    playTokens(song, cur, found->second, transpose + shift, callers);
  }
  callers.pop_back();
}

void playTokens(Song& song, Cursor& cur, const std::vector<Token>& tokens, int transpose,
                std::vector<std::string>& callers) {
  const int barTicks = song.meterNum * 4 * song.division / song.meterDen;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    const std::string& s = t.text;
    if (++song.steps > kMaxSteps) fail(t.line, "the song expands to too many notes");
    if (s.find('=') != std::string::npos) {
      setTrackSetting(cur, t);
      continue;
    }
    cur.started = true;
    if (s == "|") {
      if (cur.tick % barTicks != 0)
        fail(t.line, "bar line " + std::to_string(cur.tick % barTicks) + " ticks into a bar of " +
                         std::to_string(barTicks) + " in track '" + cur.track->name + "'");
      continue;
    }
    if (s == "loop") {
      if (song.loopTick >= 0 && song.loopTick != cur.tick)
        fail(t.line, "loop point at tick " + std::to_string(cur.tick) + " here but at tick " +
                         std::to_string(song.loopTick) + " on line " + std::to_string(song.loopLine));
      song.loopTick = cur.tick;
      song.loopLine = t.line;
      continue;
    }
    if (s[0] == '@') {
      callPattern(song, cur, t, transpose, callers);
      continue;
    }
    std::string head, length, velocity;
    bool hasLength = false, hasVelocity = false;
    if (s == "[") {
      std::vector<std::pair<int, int>> members;  // pitch, velocity (0: the chord's)
      size_t j = i + 1;
      for (; j < tokens.size() && tokens[j].text[0] != ']'; ++j) {
        const Token& m = tokens[j];
        splitNote(m.text, head, length, velocity, hasLength, hasVelocity);
        if (hasLength) fail(m.line, "a chord's length goes after its ']', not on '" + m.text + "'");
        int vel = hasVelocity ? numberIn(m, velocity, 1, 127, "a velocity") : 0;
        members.push_back({parsePitch(m, head, transpose), vel});
      }
      if (j == tokens.size()) fail(t.line, "chord without its closing ']'");
      const Token& close = tokens[j];
      splitNote(close.text, head, length, velocity, hasLength, hasVelocity);
      if (head != "]") fail(close.line, "bad chord end '" + close.text + "'");
      if (members.empty()) fail(t.line, "empty chord");
      int len = hasLength ? parseLength(close, length, song.division) : cur.lastLength;
      int chordVel = hasVelocity ? numberIn(close, velocity, 1, 127, "a velocity") : cur.velocity;
      for (auto& [pitch, vel] : members) addNote(cur, t, pitch, len, vel ? vel : chordVel);
      cur.lastLength = len;
      advance(cur, t, len);
      i = j;
      continue;
    }
    if (s[0] == ']') fail(t.line, "']' without its chord");
    splitNote(s, head, length, velocity, hasLength, hasVelocity);
    int len = hasLength ? parseLength(t, length, song.division) : cur.lastLength;
    if (head == "r") {
      if (hasVelocity) fail(t.line, "a rest has no velocity");
    } else {
      int pitch = parsePitch(t, head, transpose);
      int vel = hasVelocity ? numberIn(t, velocity, 1, 127, "a velocity") : cur.velocity;
      addNote(cur, t, pitch, len, vel);
    }
    cur.lastLength = len;
    advance(cur, t, len);
  }
}

// Reads everything up to the block's "end".
std::vector<Token> blockBody(const std::vector<Token>& tokens, size_t& i, const Token& opener) {
  std::vector<Token> body;
  for (; i < tokens.size(); ++i) {
    if (tokens[i].text == "end") return body;
    if (tokens[i].text == "track" || tokens[i].text == "pattern")
      fail(tokens[i].line, "'" + tokens[i].text + "' inside a block: the block of line " +
                               std::to_string(opener.line) + " lacks its 'end'");
    body.push_back(tokens[i]);
  }
  fail(opener.line, "'" + opener.text + "' without its 'end'");
}

bool validName(const std::string& s) {
  if (s.empty() || s.size() > 40) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

Song parseSong(const std::string& text) {
  Song song;
  std::vector<Token> tokens = tokenize(text);
  std::vector<std::pair<Token, std::vector<Token>>> trackBlocks;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    auto argument = [&]() -> const Token& {
      if (i + 1 >= tokens.size()) fail(t.line, "'" + t.text + "' needs a value");
      return tokens[++i];
    };
    if (t.text == "tempo") {
      const Token& v = argument();
      song.tempo = numberIn(v, v.text, 20, 400, "tempo");
    } else if (t.text == "division") {
      const Token& v = argument();
      song.division = numberIn(v, v.text, 24, 960, "division");
      if (song.division % 24 != 0) fail(v.line, "division must be a multiple of 24");
    } else if (t.text == "meter") {
      const Token& v = argument();
      size_t slash = v.text.find('/');
      if (slash == std::string::npos) fail(v.line, "meter is written like 4/4");
      song.meterNum = numberIn(v, v.text.substr(0, slash), 1, 16, "beats per bar");
      song.meterDen = numberIn(v, v.text.substr(slash + 1), 1, 16, "beat length");
      if (song.meterDen != 1 && song.meterDen != 2 && song.meterDen != 4 && song.meterDen != 8 && song.meterDen != 16)
        fail(v.line, "beat length must be 1, 2, 4, 8 or 16");
    } else if (t.text == "pattern" || t.text == "track") {
      const Token& name = argument();
      if (!validName(name.text)) fail(name.line, "bad name '" + name.text + "' (letters, digits, '_')");
      ++i;
      std::vector<Token> body = blockBody(tokens, i, t);
      if (t.text == "pattern") {
        if (!song.patterns.emplace(name.text, std::move(body)).second)
          fail(name.line, "pattern '" + name.text + "' defined twice");
      } else {
        trackBlocks.push_back({name, std::move(body)});
      }
    } else {
      fail(t.line, "expected tempo, division, meter, pattern or track, not '" + t.text + "'");
    }
  }
  if (trackBlocks.empty()) fail(1, "a song needs at least one track");
  if (trackBlocks.size() > 200) fail(1, "too many tracks");
  // Settings come first in the source but tracks are played only once all patterns are known.
  song.tracks.reserve(trackBlocks.size());
  for (auto& [name, body] : trackBlocks) {
    song.tracks.push_back(Track{});
    Track& tr = song.tracks.back();
    tr.name = name.text;
    tr.line = name.line;
    Cursor cur;
    cur.track = &tr;
    cur.lastLength = song.division;
    std::vector<std::string> callers;
    playTokens(song, cur, body, 0, callers);
    if (tr.channel == 0) fail(name.line, "track '" + tr.name + "' has no channel");
    tr.endTick = cur.tick;
  }
  return song;
}

void checkSong(const Song& song) {
  const Track& first = song.tracks.front();
  if (first.endTick == 0) fail(first.line, "the song is empty");
  for (const Track& tr : song.tracks) {
    if (tr.endTick != first.endTick)
      fail(tr.line, "track '" + tr.name + "' lasts " + std::to_string(tr.endTick) + " ticks but track '" +
                        first.name + "' lasts " + std::to_string(first.endTick));
    for (const Track* other = song.tracks.data(); other != &tr; ++other) {
      if (other->channel != tr.channel) continue;
      if (other->program != tr.program || other->volume != tr.volume || other->expression != tr.expression ||
          other->pan != tr.pan || other->reverb != tr.reverb || other->chorus != tr.chorus)
        fail(tr.line, "tracks '" + other->name + "' and '" + tr.name + "' share channel " +
                          std::to_string(tr.channel) + " with different settings");
    }
    // A note sounding across the loop point would be cut or left hanging on every pass.
    for (const Note& n : tr.notes)
      if (song.loopTick > 0 && n.tick < song.loopTick && n.tick + n.length > song.loopTick)
        fail(n.line, "a note of track '" + tr.name + "' sounds across the loop point");
    // Two strikes of one key that overlap would end together at the first note-off.
    std::vector<Note> sorted = tr.notes;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Note& a, const Note& b) {
      return a.pitch != b.pitch ? a.pitch < b.pitch : a.tick < b.tick;
    });
    for (size_t k = 1; k < sorted.size(); ++k)
      if (sorted[k].pitch == sorted[k - 1].pitch && sorted[k].tick < sorted[k - 1].tick + sorted[k - 1].length)
        fail(sorted[k].line, "note " + std::to_string(sorted[k].pitch) + " of track '" + tr.name +
                                 "' is struck again while it still sounds");
  }
  if (song.loopTick >= first.endTick) fail(song.loopLine, "the loop point lies at or after the end of the song");
}

// ---- writing ----

struct Event {
  int tick;
  int rank;  // order among events of one tick: metas, set-up, loop marker, note-offs, note-ons
  std::vector<uint8_t> bytes;
  bool channelMessage;
};

enum Rank { RankMeta = 0, RankSetup = 1, RankMarker = 2, RankNoteOff = 3, RankNoteOn = 4 };

Event meta(int tick, uint8_t type, const std::vector<uint8_t>& data) {
  Event e{tick, RankMeta, {}, false};
  e.bytes.reserve(3 + data.size());
  e.bytes.push_back(0xFF);
  e.bytes.push_back(type);
  e.bytes.push_back(static_cast<uint8_t>(data.size()));
  for (uint8_t v : data) e.bytes.push_back(v);
  return e;
}

Event metaText(int tick, uint8_t type, const std::string& text) {
  return meta(tick, type, std::vector<uint8_t>(text.begin(), text.end()));
}

Event channelEvent(int tick, int rank, uint8_t status, uint8_t a) {
  return {tick, rank, {status, a}, true};
}

Event channelEvent(int tick, int rank, uint8_t status, uint8_t a, uint8_t b) {
  return {tick, rank, {status, a, b}, true};
}

void appendU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Running status saves a byte per event, but the game's player comes back to the loop
// point with whatever status each track used last, so the first channel event at or
// after the loop point always carries its status byte; so does the marker itself.
// Meta events end running status, as the file format says.
void writeTrack(std::vector<uint8_t>& file, std::vector<Event>& events, int endTick, int loopTick) {
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.rank < b.rank;
  });
  std::vector<uint8_t> data;
  int last = 0;
  uint8_t running = 0;
  bool loopPending = loopTick >= 0;
  for (const Event& e : events) {
    appendVarLen(data, static_cast<uint32_t>(e.tick - last));
    last = e.tick;
    size_t from = 0;
    if (e.channelMessage) {
      if (loopPending && e.tick >= loopTick) {
        running = 0;
        loopPending = false;
      }
      if (e.rank == RankMarker) running = 0;
      if (e.bytes[0] == running) from = 1;
      running = e.bytes[0];
    } else {
      running = 0;
    }
    data.insert(data.end(), e.bytes.begin() + static_cast<long>(from), e.bytes.end());
  }
  appendVarLen(data, static_cast<uint32_t>(endTick - last));
  data.insert(data.end(), {0xFF, 0x2F, 0x00});
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  appendU32(file, static_cast<uint32_t>(data.size()));
  file.insert(file.end(), data.begin(), data.end());
}

std::vector<uint8_t> writeSong(const Song& song, const std::string& name, int unroll, int& endTick) {
  const int end = song.tracks.front().endTick;
  const int loopStart = song.loopTick >= 0 ? song.loopTick : 0;
  const int loopLength = end - loopStart;
  if (static_cast<long long>(loopStart) + static_cast<long long>(unroll) * loopLength >= (1 << 28))
    fail(1, "the song is too long to write out " + std::to_string(unroll) + " times");
  endTick = unroll > 0 ? loopStart + unroll * loopLength : end;
  const int passes = unroll > 0 ? unroll : 1;

  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  size_t trackCount = song.tracks.size() + 1;
  file.push_back(static_cast<uint8_t>(trackCount >> 8));
  file.push_back(static_cast<uint8_t>(trackCount));
  file.push_back(static_cast<uint8_t>(song.division >> 8));
  file.push_back(static_cast<uint8_t>(song.division));

  // Track 0 carries the tempo and the loop point.
  std::vector<Event> conductor;
  conductor.push_back(metaText(0, 0x03, name));
  uint8_t denPower = 0;
  while ((1 << denPower) < song.meterDen) ++denPower;
  conductor.push_back(meta(0, 0x58, {static_cast<uint8_t>(song.meterNum), denPower, 24, 8}));
  uint32_t usPerQuarter = 60000000u / static_cast<uint32_t>(song.tempo);
  conductor.push_back(meta(0, 0x51, {static_cast<uint8_t>(usPerQuarter >> 16), static_cast<uint8_t>(usPerQuarter >> 8),
                                     static_cast<uint8_t>(usPerQuarter)}));
  if (song.loopTick >= 0 && unroll == 0) conductor.push_back(channelEvent(song.loopTick, RankMarker, 0xB0, 111, 0));
  writeTrack(file, conductor, endTick, unroll == 0 ? song.loopTick : -1);

  for (const Track& tr : song.tracks) {
    const uint8_t ch = static_cast<uint8_t>(tr.channel - 1);
    std::vector<Event> events;
    events.push_back(metaText(0, 0x03, tr.name));
    events.push_back(channelEvent(0, RankSetup, 0xC0 | ch, static_cast<uint8_t>(tr.program)));
    events.push_back(channelEvent(0, RankSetup, 0xB0 | ch, 7, static_cast<uint8_t>(tr.volume)));
    events.push_back(channelEvent(0, RankSetup, 0xB0 | ch, 11, static_cast<uint8_t>(tr.expression)));
    events.push_back(channelEvent(0, RankSetup, 0xB0 | ch, 10, static_cast<uint8_t>(tr.pan)));
    events.push_back(channelEvent(0, RankSetup, 0xB0 | ch, 91, static_cast<uint8_t>(tr.reverb)));
    events.push_back(channelEvent(0, RankSetup, 0xB0 | ch, 93, static_cast<uint8_t>(tr.chorus)));
    for (const Note& n : tr.notes) {
      bool inLoop = n.tick >= loopStart;
      int copies = inLoop ? passes : 1;
      for (int k = 0; k < copies; ++k) {
        int at = n.tick + k * loopLength;
        events.push_back(channelEvent(at, RankNoteOn, 0x90 | ch, static_cast<uint8_t>(n.pitch),
                                      static_cast<uint8_t>(n.velocity)));
        events.push_back(channelEvent(at + n.length, RankNoteOff, 0x80 | ch, static_cast<uint8_t>(n.pitch), 64));
      }
    }
    writeTrack(file, events, endTick, unroll == 0 ? song.loopTick : -1);
  }
  return file;
}

}  // namespace

void appendVarLen(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (n > 1) out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
  out.push_back(groups[0]);
}

SongResult compileSong(const std::string& text, const std::string& name, int unroll) {
  SongResult result;
  if (!validName(name)) {
    result.error = "'" + name + "' is not a usable song name (letters, digits, '_')";
    return result;
  }
  try {
    Song song = parseSong(text);
    checkSong(song);
    result.midi = writeSong(song, name, unroll, result.endTick);
    // Track data only: the headers of the file and of every track are not kept.
    size_t trackData = result.midi.size() - 14 - 8 * (song.tracks.size() + 1);
    if (unroll == 0 && trackData > kPlayerBufferBytes)
      fail(1, "the song's " + std::to_string(trackData) + " bytes of track data do not fit the player's " +
                  std::to_string(kPlayerBufferBytes));
    result.loopTick = unroll > 0 ? -1 : song.loopTick;
    result.tempoBpm = song.tempo;
    result.division = song.division;
    result.ok = true;
  } catch (const Failure& f) {
    result.error = name + ":" + std::to_string(f.line) + ": " + f.message;
  }
  return result;
}

}  // namespace songc
