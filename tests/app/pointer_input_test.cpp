// The pointer moved by keys and gamepads: the arithmetic on its own, then the
// window procedure fed the messages the platform sends, through real frames.
#include "app/controls.h"
#include "app/pointer_input.h"
#include "app/pointer_moves.h"
#include "app/settings.h"
#include "world/game_fixture.h"

using namespace testgame;

namespace {

using Lines = std::vector<std::string>;

constexpr int FullTilt = 32767;

TEST(PointerMoves, CellStepsGoToTheNextCentreAndStopAtTheEdges) {
  EXPECT_EQ(cellStep(320, 240, 1, 0), (PointerPoint{368, 240}));  // from (10, 7) to (11, 7)
  EXPECT_EQ(cellStep(320, 240, 0, -1), (PointerPoint{336, 208}));
  EXPECT_EQ(cellStep(33, 63, 0, 0), (PointerPoint{48, 48}));     // in place: the cell's own centre
  EXPECT_EQ(cellStep(3, 470, -1, 1), (PointerPoint{16, 464}));   // the corner cell holds
  EXPECT_EQ(cellStep(639, 0, 1, -1), (PointerPoint{624, 16}));
  // However far the arrows go, the pointer ends at the edge cells' centres.
  PointerPoint p{320, 240};
  for (int i = 0; i < 40; ++i) p = cellStep(p.x, p.y, 1, 1);
  EXPECT_EQ(p, (PointerPoint{624, 464}));
  for (int i = 0; i < 40; ++i) p = cellStep(p.x, p.y, -1, -1);
  EXPECT_EQ(p, (PointerPoint{16, 16}));

  EXPECT_EQ(pixelStep(320, 240, -1, 0), (PointerPoint{319, 240}));
  EXPECT_EQ(pixelStep(0, 479, -1, 1), (PointerPoint{0, 479}));
  EXPECT_EQ(pixelStep(639, 0, 1, -1), (PointerPoint{639, 0}));
}

TEST(PointerMoves, TheDeadZoneIsRoundAndTheResponseRisesSlowlyFromIt) {
  // 20 %: inside it nothing, in any direction.
  EXPECT_EQ(stickPush(0, 0, 20), 0.0);
  EXPECT_EQ(stickPush(6500, 0, 20), 0.0);
  EXPECT_EQ(stickPush(4600, -4600, 20), 0.0);  // 0.199 of the travel, diagonally
  EXPECT_GT(stickPush(4700, -4700, 20), 0.0);  // 0.203: just out
  EXPECT_EQ(stickPush(0, -6500, 20), 0.0);
  // The same distance gives the same push whichever way the stick leans.
  EXPECT_NEAR(stickPush(16000, 0, 20), stickPush(-11314, 11314, 20), 1e-4);
  // Square response: halfway from the dead zone's edge to full tilt is a quarter.
  EXPECT_NEAR(stickPush(static_cast<int>(0.6 * FullTilt), 0, 20), 0.25, 1e-4);
  EXPECT_NEAR(stickPush(FullTilt, 0, 20), 1.0, 1e-9);
  // Corners of a square stick and -32768 go no further than full tilt.
  EXPECT_NEAR(stickPush(FullTilt, FullTilt, 20), 1.0, 1e-9);
  EXPECT_NEAR(stickPush(-32768, 0, 20), 1.0, 1e-9);
  double before = 0;
  for (int v = 6600; v <= FullTilt; v += 1000) {
    const double push = stickPush(v, 0, 20);
    EXPECT_GT(push, before) << v;
    before = push;
  }
  EXPECT_EQ(stickPush(0, 0, 0), 0.0);
  EXPECT_GT(stickPush(1, 0, 0), 0.0);
  EXPECT_EQ(stickPush(FullTilt, 0, 100), 0.0);

  // 640 pixels a second is 10 2/3 pixels a frame at full tilt.
  EXPECT_EQ(stickMotion(FullTilt, 0, 20, 640, GearNormal), (PointerPoint{2731, 0}));
  EXPECT_EQ(stickMotion(0, -32768, 20, 640, GearNormal), (PointerPoint{0, -2731}));
  EXPECT_EQ(stickMotion(FullTilt, 0, 20, 640, GearFast), (PointerPoint{5461, 0}));
  EXPECT_EQ(stickMotion(FullTilt, 0, 20, 640, GearSlow), (PointerPoint{683, 0}));
  const PointerPoint diagonal = stickMotion(-20000, 20000, 20, 640, GearNormal);
  EXPECT_EQ(diagonal.x, -diagonal.y);
  EXPECT_EQ(stickMotion(5000, 5000, 25, 640, GearFast), (PointerPoint{0, 0}));
}

TEST(PointerMoves, TheTitlesArrowsGoFromItemToItem) {
  auto action = [](const TitleItem* item) { return item ? item->action : TitleAction::None; };
  const TitleItem* start = titleStep(nullptr, 1, 0);
  ASSERT_EQ(action(start), TitleAction::Start);
  const TitleItem* item = start;
  std::vector<TitleAction> right;
  for (int i = 0; i < 5; ++i) right.push_back(action(item = titleStep(item, 1, 0)));
  EXPECT_EQ(right, (std::vector<TitleAction>{TitleAction::PreviousStage, TitleAction::NextStage, TitleAction::Demo,
                                              TitleAction::Demo, TitleAction::Demo}));
  EXPECT_EQ(action(titleStep(start, -1, 0)), TitleAction::Start);
  EXPECT_EQ(action(titleStep(start, 0, -1)), TitleAction::Start);
  EXPECT_EQ(action(titleStep(item, 0, 1)), TitleAction::Drag);
  const TitleItem* drag = titleStep(item, 0, 1);
  EXPECT_EQ(action(titleStep(drag, 0, 1)), TitleAction::Drag);
  EXPECT_EQ(action(titleStep(drag, 1, 0)), TitleAction::Drag);
  EXPECT_EQ(action(titleStep(drag, 0, -1)), TitleAction::Start);
  // Each item's centre lies on the item, where a click would act on it.
  for (const TitleItem* i : {start, drag, titleStep(start, 1, 0)}) {
    const PointerPoint c = titleItemCentre(*i);
    EXPECT_EQ(titleTargetAt(c.x, c.y), i);
  }
  EXPECT_EQ(titleTargetAt(5, 5), nullptr);
  EXPECT_EQ(titleTargetAt(12 * 16 + 4, 25 * 16 + 4), nullptr);  // the word DRAG does nothing
}

const Lines openRoom = {"####################", "#..................#", "#..................#",
                        "#..................#", "#......1111........#", "#..................#"};
const Lines walkerFarAway = {"....................", "..................<."};

class PointerKeys : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    resetControls();
    settings = Settings{};
  }
  void TearDown() override {
    resetControls();
    settings = Settings{};
    GameTest::TearDown();
  }
  void send(int message, uint32_t param) { windowProcedure(SysEvent{message, param}); }
  void keyDown(uint32_t k) { send(SysMsgKeyDown, k); }
  void keyUp(uint32_t k) { send(SysMsgKeyUp, k); }
  void tap(uint32_t k) {
    keyDown(k);
    keyUp(k);
  }
  void pad(int slot, uint32_t button, bool down) {
    send(down ? SysMsgPadButtonDown : SysMsgPadButtonUp, sysPadButtonParam(slot, button));
  }
  void stick(int slot, int x, int y) {
    send(SysMsgPadAxis, sysPadAxisParam(slot, SysPadLeftX, x));
    send(SysMsgPadAxis, sysPadAxisParam(slot, SysPadLeftY, y));
  }
  PointerPoint live() const { return {livePointer.liveX, livePointer.liveY}; }
  PointerPoint sampled() const { return {flow.pointer.x, flow.pointer.y}; }
  static PointerPoint centre(int row, int col) { return {32 * col + 16, 32 * row + 16}; }
  int tileAt(int row, int col) const { return stageMap[TileLayerOffset + GridColumns * row + col]; }
  void titleFrame() {
    initGameValues();
    applySettingsToGame();
    frame();
    ASSERT_EQ(flow.scene, Title);
  }
};

// Right, Right, Enter: stage 2; Enter held on the arrow repeats as the mouse
// button does; Left, Left, Enter starts it; Space starts play.
TEST_F(PointerKeys, RightLeftAndEnterAloneChooseAStageAndStartIt) {
  for (int n = 1; n <= 5; ++n) writeStage(n, openRoom, walkerFarAway);
  titleFrame();
  tap(SysKeyRight);
  EXPECT_EQ(titleTargetAt(live().x, live().y)->action, TitleAction::Start);
  tap(SysKeyRight);
  tap(SysKeyRight);
  EXPECT_EQ(titleTargetAt(live().x, live().y)->action, TitleAction::NextStage);
  tap(SysKeyEnter);
  frame();
  EXPECT_EQ(flow.stageNumber, 2);
  EXPECT_EQ(eventsOf("fx"), std::vector<std::string>{"fx 9"});
  frame();
  EXPECT_EQ(flow.stageNumber, 2);
  // Held: once at once, then from the 35th frame on, like the mouse; the
  // system's repeats of the held key are no new presses.
  keyDown(SysKeyEnter);
  for (int held = 1; held <= 36; ++held) {
    if (held > 1) keyDown(SysKeyEnter);
    frame();
    ASSERT_EQ(flow.stageNumber, held < 35 ? 3 : (held == 35 ? 4 : 5)) << "held for " << held;
  }
  keyUp(SysKeyEnter);
  frame();
  tap(SysKeyLeft);
  tap(SysKeyLeft);
  tap(SysKeyLeft);  // stops at [START]
  tap(SysKeyLeft);
  EXPECT_EQ(titleTargetAt(live().x, live().y)->action, TitleAction::Start);
  for (int i = 0; i < 12; ++i) {
    tap(SysKeyLeft);
    tap(SysKeyRight);
    tap(SysKeyLeft);
    tap(SysKeyDown);
    tap(SysKeyUp);
  }
  tap(SysKeyEnter);
  frame();
  EXPECT_EQ(flow.scene, NewGame);
  EXPECT_EQ(flow.stageNumber, 5);
  EXPECT_EQ(framesUntil(StageReady, 3), 1);
  frame();
  tap(SysKeySpace);
  EXPECT_EQ(framesUntil(Playing, 2), 1);
  EXPECT_EQ(flow.stageNumber, 5);
  EXPECT_EQ(flow.pointer.button, 1);
}

// The title's DEMO and DRAG by Down and Up; the first arrow after the mouse
// goes to [START] again.
TEST_F(PointerKeys, UpAndDownReachDragAndTheMouseSendsTheArrowsBackToStart) {
  titleFrame();
  tap(SysKeyDown);
  tap(SysKeyDown);
  EXPECT_EQ(titleTargetAt(live().x, live().y)->action, TitleAction::Drag);
  tap(SysKeySpace);
  frame();
  EXPECT_FALSE(flow.dragMode);
  send(SysMsgMouseMove, packed(27 * 16 + 8, 23 * 16 + 8));  // over [DEMO]
  tap(SysKeyLeft);
  EXPECT_EQ(titleTargetAt(live().x, live().y)->action, TitleAction::Start);
}

TEST_F(PointerKeys, InAStageArrowsMoveACellAndWithShiftAPixel) {
  writeStage(1, openRoom, walkerFarAway);
  startPlaying(1);
  tap(SysKeyRight);
  EXPECT_EQ(live(), centre(7, 11));
  tap(SysKeyDown);
  EXPECT_EQ(live(), centre(8, 11));
  keyDown(SysKeyShift);
  tap(SysKeyLeft);
  tap(SysKeyLeft);
  tap(SysKeyUp);
  EXPECT_EQ(live(), (PointerPoint{366, 271}));
  keyUp(SysKeyShift);
  tap(SysKeyLeft);  // from the pixel moves, to the cell's neighbour's centre
  EXPECT_EQ(live(), centre(8, 10));
  frame();
  EXPECT_EQ(sampled(), centre(8, 10));
  for (int i = 0; i < 25; ++i) tap(SysKeyLeft);
  for (int i = 0; i < 25; ++i) tap(SysKeyUp);
  EXPECT_EQ(live(), centre(0, 0));
  keyDown(SysKeyShift);
  for (int i = 0; i < 20; ++i) tap(SysKeyUp);
  EXPECT_EQ(live(), (PointerPoint{16, 0}));
  keyUp(SysKeyShift);
  for (int i = 0; i < 25; ++i) tap(SysKeyRight);
  for (int i = 0; i < 25; ++i) tap(SysKeyDown);
  EXPECT_EQ(live(), centre(14, 19));
  frame();
  EXPECT_EQ(sampled(), centre(14, 19));
  EXPECT_EQ(flow.pointer.button, 0);
  EXPECT_TRUE(eventsOf("fx").empty());
}

// Space held is the button held: DRAG switches every block the arrows enter;
// the system's repeats press nothing more.
TEST_F(PointerKeys, SpaceHeldDragsOverTheBlocks) {
  writeStage(1, openRoom, walkerFarAway);
  startPlaying(1);
  ASSERT_TRUE(flow.dragMode);
  for (int i = 0; i < 4; ++i) tap(SysKeyLeft);  // (7, 6)
  tap(SysKeyUp);
  tap(SysKeyUp);
  tap(SysKeyUp);
  ASSERT_EQ(live(), centre(4, 6));
  keyDown(SysKeySpace);
  frame();
  for (int col = 7; col <= 10; ++col) {
    keyDown(SysKeySpace);  // a repeat
    tap(SysKeyRight);
    frame();
    frame();
    EXPECT_EQ(tileAt(4, col), 35) << "col " << col;
    EXPECT_EQ(flow.pointer.button, 1);
  }
  keyUp(SysKeySpace);
  frame();
  EXPECT_EQ(flow.pointer.button, 0);
  EXPECT_EQ(countOf("fx 2"), 4);
  // A tap is a click, even with its release in the same frame: it opens one.
  tap(SysKeyEnter);
  frame();
  EXPECT_EQ(tileAt(4, 10), 1);
}

// A key let go and pressed again between two frames is still a second press,
// as a quick second click is; the mouse's release while Space holds the
// button is none.
TEST_F(PointerKeys, AQuickSecondTapIsAPressAndOneReleaseOfTwoIsNone) {
  writeStage(1, openRoom, walkerFarAway);
  startPlaying(1);
  keyDown(SysKeySpace);
  frame();
  ASSERT_EQ(flow.pointer.button, 1);
  keyUp(SysKeySpace);
  tap(SysKeySpace);
  frame();
  EXPECT_EQ(flow.pointer.button, 0);
  frame();
  EXPECT_TRUE(isPress(flow.pointer));
  frame();
  EXPECT_EQ(flow.pointer.button, 0);
  keyDown(SysKeyEnter);
  send(SysMsgButtonDown, packed(320, 240));
  frame();
  send(SysMsgButtonUp, 0);
  frame();
  EXPECT_EQ(flow.pointer.button, 1);
  EXPECT_EQ(flow.pointer.previousButton, 1);
  keyUp(SysKeyEnter);
  frame();
  EXPECT_EQ(flow.pointer.button, 0);
}

// A held through several frames while the d-pad and the stick move: a drag.
TEST_F(PointerKeys, PadAHeldIsADragAndUnpluggingLetsGo) {
  writeStage(1, openRoom, walkerFarAway);
  startPlaying(1);
  send(SysMsgPadAdded, 0);
  for (int i = 0; i < 4; ++i) pad(0, SysPadLeft, true), pad(0, SysPadLeft, false);
  for (int i = 0; i < 3; ++i) pad(0, SysPadUp, true), pad(0, SysPadUp, false);
  ASSERT_EQ(live(), centre(4, 6));
  pad(0, SysPadA, true);
  frames(3);
  pad(0, SysPadRight, true);
  pad(0, SysPadRight, false);
  frames(3);
  EXPECT_EQ(tileAt(4, 7), 35);
  // The stick carries it on to the right at 10 2/3 pixels a frame.
  stick(0, FullTilt, 0);
  frames(6);
  EXPECT_EQ(live().x, 240 + 64);
  stick(0, 0, 0);
  frames(2);
  EXPECT_EQ(tileAt(4, 8), 35);
  EXPECT_EQ(tileAt(4, 9), 35);
  EXPECT_EQ(flow.pointer.button, 1);
  // Pulled out mid-press: the button goes up, and a second pad's A still holds it.
  send(SysMsgPadAdded, 3);
  pad(3, SysPadA, true);
  send(SysMsgPadRemoved, 0);
  EXPECT_EQ(std::string(noticeShowing()), "GAMEPAD DISCONNECTED");
  frame();
  EXPECT_EQ(flow.pointer.button, 1);
  send(SysMsgPadRemoved, 3);
  EXPECT_FALSE(livePointer.liveButton);
  frame();
  EXPECT_EQ(flow.pointer.button, 0);
  // A slot out of range is no pad.
  send(SysMsgPadButtonDown, sysPadButtonParam(200, SysPadA));
  EXPECT_FALSE(livePointer.liveButton);
}

TEST_F(PointerKeys, TheStickAndItsGearsStopAtTheEdges) {
  writeStage(1, openRoom, walkerFarAway);
  startPlaying(1);
  send(SysMsgPadAdded, 1);
  EXPECT_EQ(std::string(noticeShowing()), "GAMEPAD CONNECTED");
  stick(1, 4000, -4000);  // inside the dead zone
  frames(30);
  EXPECT_EQ(sampled(), (PointerPoint{320, 240}));
  settings.stickDeadZone = 10;  // the same push, now out of it: slowly
  frames(30);
  EXPECT_NE(sampled(), (PointerPoint{320, 240}));
  settings.stickDeadZone = 20;
  // Full tilt left: 3 frames, 32 pixels; the right shoulder doubles it, the
  // left quarters it.
  stick(1, 0, 0);
  frame();
  livePointer.liveX = 320;
  livePointer.liveY = 240;
  stick(1, -32768, 0);
  frames(3);
  EXPECT_EQ(live(), (PointerPoint{288, 240}));
  pad(1, SysPadRightShoulder, true);
  frames(3);
  EXPECT_EQ(live(), (PointerPoint{224, 240}));
  pad(1, SysPadRightShoulder, false);
  pad(1, SysPadLeftShoulder, true);
  frames(3);
  EXPECT_EQ(live(), (PointerPoint{216, 240}));
  // With the left shoulder, the d-pad goes a pixel.
  pad(1, SysPadDown, true);
  EXPECT_EQ(live(), (PointerPoint{216, 241}));
  pad(1, SysPadLeftShoulder, false);
  frames(40);
  EXPECT_EQ(live(), (PointerPoint{0, 241}));
  stick(1, FullTilt, FullTilt);
  frames(200);
  EXPECT_EQ(live(), (PointerPoint{639, 479}));
  EXPECT_EQ(sampled(), (PointerPoint{639, 479}));
}

// After keys or a pad, the mouse's old place is not read again: only a move
// of its own gives it the pointer back.
TEST_F(PointerKeys, TheMouseTakesThePointerBackOnlyByMoving) {
  writeStage(1, openRoom, walkerFarAway);
  startPlaying(1);
  send(SysMsgMouseMove, packed(100, 100));
  tap(SysKeyRight);
  ASSERT_EQ(live(), centre(3, 4));
  send(SysMsgMouseMove, packed(100, 100));  // a window system's repeat of the old place
  EXPECT_EQ(live(), centre(3, 4));
  send(SysMsgButtonDown, packed(100, 100));
  frame();
  EXPECT_EQ(sampled(), centre(3, 4));
  EXPECT_EQ(flow.pointer.button, 1);
  send(SysMsgButtonUp, 0);
  send(SysMsgMouseMove, packed(101, 100));
  frame();
  EXPECT_EQ(sampled(), (PointerPoint{101, 100}));
  // Space and the mouse button together: both must let go.
  keyDown(SysKeySpace);
  send(SysMsgButtonDown, packed(101, 100));
  keyUp(SysKeySpace);
  EXPECT_TRUE(livePointer.liveButton);
  send(SysMsgButtonUp, 0);
  EXPECT_FALSE(livePointer.liveButton);
}

// Paused, the arrows and Enter are the menu's; a Space held as the button
// does not choose by its repeats, and Enter that chose presses nothing after.
TEST_F(PointerKeys, ThePauseMenuKeepsItsKeys) {
  writeStage(1, openRoom, walkerFarAway);
  startPlaying(1);
  keyDown(SysKeySpace);
  frame();
  tap('p');
  ASSERT_TRUE(pauseState.paused);
  keyDown(SysKeySpace);
  keyDown(SysKeySpace);
  EXPECT_TRUE(pauseState.paused);
  keyUp(SysKeySpace);
  const PointerPoint before = live();
  tap(SysKeyLeft);
  tap(SysKeyDown);
  EXPECT_EQ(live(), before);
  EXPECT_EQ(pauseState.selected, 1);
  tap(SysKeyUp);
  keyDown(SysKeyEnter);  // CONTINUE
  EXPECT_FALSE(pauseState.paused);
  keyDown(SysKeyEnter);  // its repeats, after the menu went
  frame();
  EXPECT_EQ(flow.pointer.button, 0);
  keyUp(SysKeyEnter);
  tap(SysKeyEnter);
  frame();
  EXPECT_EQ(flow.pointer.button, 1);
}

// B is Escape in a stage and nothing on the title; Start pauses; paused, the
// d-pad and A choose from the menu.
TEST_F(PointerKeys, ThePadsBAndStartNeverCloseTheGame) {
  writeStage(1, openRoom, walkerFarAway);
  titleFrame();
  pad(0, SysPadB, true);
  pad(0, SysPadB, false);
  pad(0, SysPadStart, true);
  pad(0, SysPadStart, false);
  SysEvent waiting;
  EXPECT_FALSE(sysPeekMessage(&waiting)) << "the title was closed";
  EXPECT_FALSE(pauseState.paused);
  startPlaying(1);
  pad(0, SysPadB, true);
  EXPECT_TRUE(pauseState.paused);
  pad(0, SysPadB, false);
  pad(0, SysPadB, true);
  EXPECT_FALSE(pauseState.paused);
  pad(0, SysPadStart, true);
  EXPECT_TRUE(pauseState.paused);
  pad(0, SysPadDown, true);
  pad(0, SysPadDown, false);
  pad(0, SysPadDown, true);
  pad(0, SysPadA, true);  // TITLE
  EXPECT_FALSE(pauseState.paused);
  EXPECT_FALSE(livePointer.liveButton);
  frame();
  EXPECT_EQ(flow.scene, Title);
  pad(0, SysPadA, false);
  EXPECT_FALSE(sysPeekMessage(&waiting));
}

// A demonstration ends at Space or A as at a click, and the key that ended
// it presses nothing on the title.
TEST_F(PointerKeys, SpaceOrAEndADemonstration) {
  ASSERT_TRUE(sysChangeDirectory(WENDLOP_SOURCE_DIR "/data"));
  for (const bool usePad : {false, true}) {
    resetGameForTest();
    startDemonstration(3, nullptr, true);
    frames(30);
    ASSERT_TRUE(flow.demoPlayback);
    if (usePad) {
      pad(0, SysPadA, true);
    } else {
      keyDown(SysKeySpace);
    }
    frame();
    EXPECT_EQ(flow.scene, Title) << (usePad ? "A" : "Space");
    frames(2);
    EXPECT_EQ(flow.pointer.button, 0);
    if (!usePad) keyDown(SysKeySpace);  // repeats
    frame();
    EXPECT_EQ(flow.pointer.button, 0);
  }
}

TEST_F(PointerKeys, FocusLostLetsGoOfKeysAndPadsButNotTheMouse) {
  writeStage(1, openRoom, walkerFarAway);
  startPlaying(1);
  settings.pauseOnFocusLoss = false;
  keyDown(SysKeySpace);
  pad(2, SysPadA, true);
  stick(2, FullTilt, 0);
  send(SysMsgFocusLost, 0);
  EXPECT_FALSE(livePointer.liveButton);
  frames(2);
  EXPECT_EQ(sampled(), (PointerPoint{320, 240}));
  send(SysMsgButtonDown, packed(50, 50));
  send(SysMsgFocusLost, 0);
  EXPECT_TRUE(livePointer.liveButton);
}

}  // namespace
