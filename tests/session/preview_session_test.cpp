// Tab held in a whole game: over the waiting stage and while paused it draws
// the hazards' paths, and it changes nothing of the game, frame by frame.
#include <gtest/gtest.h>

#include "session_support.h"

using namespace session;

namespace {

// Stage 14, one slow hazard, chosen on the title's selector: one step at
// once, then one a frame from the 35th frame held.
std::string toStage14() {
  return std::to_string(10) + " " + std::to_string(NextArrow.x) + " " + std::to_string(NextArrow.y) + " 1\n" + "56 " +
         std::to_string(NextArrow.x) + " " + std::to_string(NextArrow.y) + " 0\n" + click(70, StartButton) +
         "90 320 240 0\n";
}

TEST(SessionPreview, TabChangesNoFrameOfTheGameOnlyItsPictures) {
  // Tab held while the stage waits (frames 100 to 120) and while paused (310
  // to 320), or not at all.
  auto script = [](bool tab) {
    return toStage14() + (tab ? "100 keydown tab\n120 keyup tab\n" : "") + "150 320 240 1\n151 320 240 0\n300 key p\n" +
           (tab ? "310 keydown tab\n320 keyup tab\n" : "") + "330 key p\n480 320 240 0\n";
  };
  const std::string args = "--canvas-dir pictures --canvas-every 5";  // frames 1, 6, 11, ...
  const SessionRun without = runSession("tab-without", script(false), args);
  const SessionRun with = runSession("tab-with", script(true), args);
  ASSERT_EQ(without.code, 0) << without.err;
  ASSERT_EQ(with.code, 0) << with.err;
  EXPECT_EQ(with.summary, without.summary);
  ASSERT_EQ(slurp(with.dir / "trace.jsonl"), slurp(without.dir / "trace.jsonl"));
  const Frame* waiting = nullptr;
  for (const Frame& f : with.frames)
    if (f["f"] == 110) waiting = &f;
  ASSERT_NE(waiting, nullptr);
  EXPECT_EQ((*waiting)["stageNumber"], 14);
  EXPECT_EQ((*waiting)["scene"], 3) << "the stage waits for its click";
  // The pictures differ only while Tab is held over the waiting stage. Every
  // fifth presented frame is kept, named by its frame: the first kept at or
  // after each frame looked at.
  auto picture = [](const SessionRun& r, long from) {
    for (long f = from; f < from + 5; ++f) {
      char name[32];
      std::snprintf(name, sizeof name, "frame-%06ld.png", f);
      if (fs::exists(r.dir / "pictures" / name)) return slurp(r.dir / "pictures" / name);
    }
    return std::string();
  };
  for (long f : {95L, 130L, 200L, 400L}) {
    EXPECT_FALSE(picture(with, f).empty()) << "frame " << f;
    EXPECT_EQ(picture(with, f), picture(without, f)) << "frame " << f;
  }
  EXPECT_NE(picture(with, 110), picture(without, 110));
  fs::remove_all(with.dir);
  fs::remove_all(without.dir);
}

}  // namespace
