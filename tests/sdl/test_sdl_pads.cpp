// Pads on Linux through the SDL platform itself: a virtual game controller is
// plugged in, moved and pulled out, and the keys are read as the program's
// loop reads them (peekMessage until the queue is empty, then readKeyboard).
// A drive on the pad, run through the live frame path, is recorded and
// replays in hillcar-replay to the same trace.
#include "app/record.h"
#include "frame/frame.h"
#include "frame/keys.h"
#include "platform/live.h"
#include "platform/scripted/gl_record.h"
#include "platform/sdl/sdl_handles.h"
#include "platform/sdl/sdl_pads.h"
#include "platform/window.h"
#include "replay/trace.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The keys the pad mapping holds, Escape beside them (no pad holds it).
const struct {
    int vk;
    const char* name;
} keys[] = {
    {VK_LEFT, "LEFT"}, {VK_UP, "UP"},           {VK_RIGHT, "RIGHT"}, {VK_DOWN, "DOWN"},
    {'D', "D"},        {'V', "V"},              {VK_NUMPAD0, "NUMPAD0"}, {VK_ESCAPE, "ESCAPE"},
};

// The messages waiting are taken, as the loop takes them before a frame.
// SDL pumps its devices once per round of polls, and a pad just opened has
// its state from the next pump: two rounds, as for two frames.
void drainMessages()
{
    Message msg;
    for (int round = 0; round < 2; round++)
        while (peekMessage(&msg)) {
        }
}

// The keys readKeyboard reports held, space-separated.
std::string heldKeys()
{
    drainMessages();
    std::string s;
    for (const auto& k : keys)
        if (readKeyboard(k.vk) & 0x80) s += (s.empty() ? "" : " ") + std::string(k.name);
    return s;
}

// A virtual pad with the game controller's axes and buttons, in the game
// controller's order. Its triggers rest fully released: a virtual axis
// starts at the middle of its range, which a trigger reads as half pulled.
struct VirtualPad {
    int index = -1;
    SDL_Joystick* joystick = nullptr;

    VirtualPad()
    {
        SDL_VirtualJoystickDesc desc = {};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        index = SDL_JoystickAttachVirtualEx(&desc);
        EXPECT_GE(index, 0) << SDL_GetError();
        joystick = SDL_JoystickOpen(index);
        EXPECT_NE(joystick, nullptr) << SDL_GetError();
        set(0, -32768, -32768, {});
    }
    ~VirtualPad() { pullOut(); }

    void set(int stickX, int leftTrigger, int rightTrigger, std::initializer_list<int> buttons)
    {
        SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, (Sint16)stickX);
        SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_TRIGGERLEFT, (Sint16)leftTrigger);
        SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, (Sint16)rightTrigger);
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; b++) {
            bool down = false;
            for (int held : buttons) down = down || held == b;
            SDL_JoystickSetVirtualButton(joystick, b, down ? SDL_PRESSED : SDL_RELEASED);
        }
    }

    void pullOut()
    {
        if (!joystick) return;
        SDL_JoystickID id = SDL_JoystickInstanceID(joystick);
        SDL_JoystickClose(joystick);
        joystick = nullptr;
        // The device index may have moved since other pads came and went.
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

TEST_F(SdlPads, StickTriggersAndButtonsAreKeys)
{
    VirtualPad pad;
    EXPECT_EQ(heldKeys(), "");
    const struct {
        int stickX, leftTrigger, rightTrigger;
        std::initializer_list<int> buttons;
        const char* held;
    } cases[] = {
        {-8000, -32768, -32768, {}, ""},         // inside the dead zone
        {-20000, -32768, -32768, {}, "LEFT"},
        {20000, -32768, -32768, {}, "RIGHT"},
        {0, -32768, -15000, {}, ""},             // a trigger a quarter pulled is not enough
        {0, -32768, 0, {}, "UP"},                // half pulled
        {0, 32767, -32768, {}, "DOWN"},
        {0, -32768, -32768, {SDL_CONTROLLER_BUTTON_A}, "UP"},
        {0, -32768, -32768, {SDL_CONTROLLER_BUTTON_B}, "DOWN"},
        {0, -32768, -32768, {SDL_CONTROLLER_BUTTON_X}, "NUMPAD0"},
        {0, -32768, -32768, {SDL_CONTROLLER_BUTTON_Y}, "V"},
        {0, -32768, -32768, {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER}, "D"},
        {0, -32768, -32768, {SDL_CONTROLLER_BUTTON_DPAD_LEFT}, "LEFT"},
        {0, -32768, -32768, {SDL_CONTROLLER_BUTTON_DPAD_RIGHT}, "RIGHT"},
        // Buttons that stand for nothing, Start and Back among them.
        {0, -32768, -32768,
         {SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_BACK, SDL_CONTROLLER_BUTTON_GUIDE,
          SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_DPAD_UP},
         ""},
        {-32768, -32768, 32767, {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER}, "LEFT UP D"},
    };
    for (const auto& c : cases) {
        pad.set(c.stickX, c.leftTrigger, c.rightTrigger, c.buttons);
        EXPECT_EQ(heldKeys(), c.held) << "stick " << c.stickX << " triggers " << c.leftTrigger
                                      << "/" << c.rightTrigger;
    }
}

TEST_F(SdlPads, PadsComeAndGoWhileHeld)
{
    // A pad plugged in while another is held: both count.
    auto first = std::make_unique<VirtualPad>();
    first->set(0, -32768, 32767, {});
    EXPECT_EQ(heldKeys(), "UP");
    VirtualPad second;
    second.set(0, -32768, -32768, {SDL_CONTROLLER_BUTTON_DPAD_LEFT});
    EXPECT_EQ(heldKeys(), "LEFT UP");

    // Pulled out while holding Up: Up is let go, the other pad keeps Left.
    first.reset();
    EXPECT_EQ(heldKeys(), "LEFT");
    second.pullOut();
    EXPECT_EQ(heldKeys(), "");

    // And plugged in again.
    VirtualPad again;
    again.set(0, -32768, -32768, {SDL_CONTROLLER_BUTTON_Y});
    EXPECT_EQ(heldKeys(), "V");
}

// --------------------------------------------------------- a drive on a pad

std::string readAll(const std::string& path)
{
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return text;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    return text;
}

TEST_F(SdlPads, ADriveOnAPadReplaysToTheSameTrace)
{
    char dir[] = "/tmp/hillcar-pad-drive-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string rec = std::string(dir) + "/pad.hillcar", trace = std::string(dir) + "/live.jsonl";

    static OutFile recording, traced;
    ASSERT_TRUE(recordOpen(recording, rec.c_str(), stderr));
    ASSERT_TRUE(traceOpen(traced, trace.c_str(), stderr));
    const uint32_t seed = 2024;
    setRandSource(RAND_GLIBC);
    platformSrand(seed);
    recordHeader(recording, "the pad test", RAND_GLIBC, seed);

    // Throttle and steer on the pad, then the view button, the shoulder and
    // the west button, each for a while, at 60 frames a second.
    VirtualPad pad;
    const struct {
        int frames, stickX, rightTrigger;
        std::initializer_list<int> buttons;
    } drive[] = {
        {60, 0, 32767, {}},
        {40, -30000, 32767, {}},
        {30, 25000, -32768, {SDL_CONTROLLER_BUTTON_B}},
        {5, 0, -32768, {SDL_CONTROLLER_BUTTON_Y}},
        {20, 0, -32768, {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER}},
        {20, 0, -32768, {SDL_CONTROLLER_BUTTON_X, SDL_CONTROLLER_BUTTON_DPAD_RIGHT}},
    };
    DeviceContext dc = {nullptr};
    const ScriptKeys& names = scriptKeys();
    uint32_t tick = 5000;
    uint64_t frames = 0;
    for (const auto& step : drive) {
        pad.set(step.stickX, -32768, step.rightTrigger, step.buttons);
        for (int f = 0; f < step.frames; f++, tick += 16) {
            drainMessages();
            bool held[256] = {};
            for (int k = 0; k < names.count; k++)
                held[names.vk[k]] = (readKeyboard(names.vk[k]) & 0x80) != 0;
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

    // The recording names the keys the pad held.
    std::string script = readAll(rec);
    for (const char* line : {"frame 5000 UP\n", "frame 5960 LEFT UP\n", "LEFT UP\n", "RIGHT DOWN\n",
                             " V\n", " D\n", "RIGHT NUMPAD0\n"})
        EXPECT_NE(script.find(line), std::string::npos) << "no \"" << line << "\" in the recording";

    // hillcar-replay gives the trace of the frames as they ran, byte for byte.
    std::string replayed = std::string(dir) + "/replayed.jsonl";
    std::string command = std::string(HILLCAR_REPLAY_BIN) + " " + rec + " > " + replayed;
    int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    std::string live = readAll(trace);
    EXPECT_EQ(std::count(live.begin(), live.end(), '\n'), (long)frames);
    EXPECT_TRUE(live == readAll(replayed)) << "the replay differs from the drive";
    remove(rec.c_str());
    remove(trace.c_str());
    remove(replayed.c_str());
    rmdir(dir);
}

} // namespace
