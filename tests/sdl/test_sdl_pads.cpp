// Pads through the SDL platform itself: SDL's virtual game controllers are
// plugged in, moved and pulled out, and the keys are read as the loop reads
// them (peekMessage until the queue is empty, then readKeyboard).
#include "app/record.h"
#include "frame/frame.h"
#include "frame/keys.h"
#include "platform/live.h"
#include "platform/scripted/gl_record.h"
#include "platform/sdl/sdl_handles.h"
#include "platform/sdl/sdl_pads.h"
#include "platform/window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

enum { A = SDL_CONTROLLER_BUTTON_A, B = SDL_CONTROLLER_BUTTON_B, X = SDL_CONTROLLER_BUTTON_X,
       Y = SDL_CONTROLLER_BUTTON_Y, RB = SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
       RIGHT = SDL_CONTROLLER_BUTTON_DPAD_RIGHT };
constexpr int OFF = -32768; // a trigger at rest: mid-range reads as half pulled

// SDL pumps devices once per round of polls and a pad just opened reads from
// the next pump: two rounds, as two loop passes.
std::string heldKeys()
{
    Message msg;
    for (int round = 0; round < 2; round++)
        while (peekMessage(&msg)) {
        }
    const struct {
        int vk;
        const char* name;
    } keys[] = {{VK_LEFT, "LEFT"}, {VK_UP, "UP"},   {VK_RIGHT, "RIGHT"},     {VK_DOWN, "DOWN"},
                {'D', "D"},        {'V', "V"},      {VK_NUMPAD0, "NUMPAD0"}, {VK_ESCAPE, "ESCAPE"}};
    std::string s;
    for (const auto& k : keys)
        if (readKeyboard(k.vk) & 0x80) s += (s.empty() ? "" : " ") + std::string(k.name);
    return s;
}

// A virtual pad with the game controller's axes and buttons, in its order.
struct VirtualPad {
    SDL_Joystick* joystick;
    VirtualPad()
    {
        SDL_VirtualJoystickDesc desc = {};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        joystick = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc));
        EXPECT_NE(joystick, nullptr) << SDL_GetError();
        set(0, OFF, OFF, {});
    }
    ~VirtualPad() { pullOut(); }
    void set(int stickX, int leftTrigger, int rightTrigger, std::initializer_list<int> buttons)
    {
        SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, (Sint16)stickX);
        SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_TRIGGERLEFT, (Sint16)leftTrigger);
        SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, (Sint16)rightTrigger);
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; b++)
            SDL_JoystickSetVirtualButton(joystick, b, std::count(buttons.begin(), buttons.end(), b));
    }
    void pullOut()
    {
        if (!joystick) return;
        SDL_JoystickID id = SDL_JoystickInstanceID(joystick);
        SDL_JoystickClose(joystick);
        joystick = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); i++)
            if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
};

class SdlPads : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0) << SDL_GetError();
        startPads();
    }
    void TearDown() override
    {
        stopPads();
        SDL_Quit();
    }
};

// The stick, a trigger and a button reach the shared layout; the first pad
// holding the trigger, a second one plugged in while it is held adds its
// keys, and the first pulled out lets its key go.
TEST_F(SdlPads, PadsPluggedInAndPulledOutWhileHeld)
{
    auto first = std::make_unique<VirtualPad>();
    EXPECT_EQ(heldKeys(), "");
    first->set(-20000, OFF, OFF, {});
    EXPECT_EQ(heldKeys(), "LEFT");
    first->set(0, 32767, OFF, {});
    EXPECT_EQ(heldKeys(), "DOWN");
    first->set(0, OFF, 0, {}); // half pulled
    VirtualPad second;
    second.set(0, OFF, OFF, {A});
    EXPECT_EQ(heldKeys(), "UP");
    second.set(0, OFF, OFF, {Y});
    EXPECT_EQ(heldKeys(), "UP V");
    first.reset();
    EXPECT_EQ(heldKeys(), "V");
}

// A drive on a pad through the live frame path: the recording names the
// keys the pad held and hillcar-replay replays it to the same trace.
TEST_F(SdlPads, ADriveOnAPadReplaysToTheSameTrace)
{
    const std::string dir = ::testing::TempDir(), rec = dir + "pad.hillcar",
                      trace = dir + "pad-live.jsonl", replayed = dir + "pad-replayed.jsonl";
    static OutFile recording, traced;
    ASSERT_TRUE(recordOpen(recording, rec.c_str(), stderr));
    ASSERT_TRUE(traceOpen(traced, trace.c_str(), stderr));
    setRandSource(RAND_GLIBC);
    platformSrand(2024);
    recordHeader(recording, "the pad test", RAND_GLIBC, 2024);
    VirtualPad pad;
    const struct {
        int frames, stickX, rightTrigger;
        std::initializer_list<int> buttons;
    } drive[] = {{60, 0, 32767, {}}, {40, -30000, 32767, {}}, {30, 25000, OFF, {B}},
                 {5, 0, OFF, {Y}},   {20, 0, OFF, {RB}},        {20, 0, OFF, {X, RIGHT}}};
    DeviceContext dc = {nullptr};
    uint32_t tick = 5000;
    uint64_t frames = 0;
    for (const auto& step : drive) {
        pad.set(step.stickX, OFF, step.rightTrigger, step.buttons);
        for (int f = 0; f < step.frames; f++, tick += 16) {
            heldKeys();
            bool held[256] = {};
            for (int k = 0; k < scriptKeys().count; k++)
                held[scriptKeys().vk[k]] = (readKeyboard(scriptKeys().vk[k]) & 0x80) != 0;
            setFrameTick(tick);
            setFrameKeys(held);
            recordFrame(recording, tick, held);
            glrecReset();
            goGLprog(&dc);
            traceFrame(traced, ++frames, tick, theWorld(), lastFrameValues(), glrecCounts());
        }
    }
    outClose(recording);
    outClose(traced);
    auto slurp = [](const std::string& path) {
        std::ostringstream s;
        s << std::ifstream(path, std::ios::binary).rdbuf();
        return s.str();
    };
    std::string script = slurp(rec);
    for (const char* line : {"frame 5000 UP\n", "frame 5960 LEFT UP\n", "RIGHT DOWN\n", " V\n",
                             " D\n", "RIGHT NUMPAD0\n"})
        EXPECT_NE(script.find(line), std::string::npos) << line;
    ASSERT_EQ(system((std::string(HILLCAR_REPLAY_BIN) + " " + rec + " > " + replayed).c_str()), 0);
    std::string live = slurp(trace);
    EXPECT_EQ(std::count(live.begin(), live.end(), '\n'), (long)frames);
    EXPECT_TRUE(live == slurp(replayed)) << "the replay differs from the drive";
    for (const std::string& path : {rec, trace, replayed}) remove(path.c_str());
}

} // namespace
