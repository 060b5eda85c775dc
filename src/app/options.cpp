#include "app/options.h"

#include <cstring>

const char* const USAGE =
    "usage: hillcar [--windowed | --fullscreen] [--fit] [--record FILE] [--play FILE]"
    " [--trace FILE] [--help] [--version] [FILE]";

namespace {

// The file an option names: the rest after '=' or the next argument.
bool takeFile(int argc, char** argv, int& i, const char* inline_, const char*& file, char* why,
              size_t whySize, const char* name)
{
    if (inline_) {
        file = inline_;
    } else if (i + 1 < argc) {
        file = argv[++i];
    } else {
        snprintf(why, whySize, "%s needs a file name", name);
        return false;
    }
    if (file[0] == '\0') {
        snprintf(why, whySize, "%s needs a file name", name);
        return false;
    }
    return true;
}

} // namespace

bool parseOptions(int argc, char** argv, Options& o, char* why, size_t whySize)
{
    o = Options{SCREEN_ASK, false, nullptr, nullptr, nullptr, false, false};
    bool windowed = false, fullscreen = false;
    const char* alone = nullptr; // the file named with no option
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (arg[0] != '-') {
            if (alone) {
                snprintf(why, whySize, "unexpected argument '%s'", arg);
                return false;
            }
            alone = arg;
            continue;
        }
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "-V") == 0) {
            (arg[1] == 'h' ? o.help : o.version) = true;
            continue;
        }
        // "--name=value" for the options that take a file.
        char name[32];
        const char* value = nullptr;
        const char* eq = strchr(arg, '=');
        size_t len = eq ? (size_t)(eq - arg) : strlen(arg);
        if (strncmp(arg, "--", 2) != 0 || len >= sizeof name) {
            snprintf(why, whySize, "unknown option '%s'", arg);
            return false;
        }
        memcpy(name, arg, len);
        name[len] = '\0';
        if (eq) value = eq + 1;

        const char** file = nullptr;
        if (strcmp(name, "--record") == 0) file = &o.record;
        else if (strcmp(name, "--play") == 0) file = &o.play;
        else if (strcmp(name, "--trace") == 0) file = &o.trace;
        if (file) {
            if (!takeFile(argc, argv, i, value, *file, why, whySize, name)) return false;
            continue;
        }
        bool* flag = nullptr;
        if (strcmp(name, "--windowed") == 0) flag = &windowed;
        else if (strcmp(name, "--fullscreen") == 0) flag = &fullscreen;
        else if (strcmp(name, "--fit") == 0) flag = &o.fit;
        else if (strcmp(name, "--help") == 0) flag = &o.help;
        else if (strcmp(name, "--version") == 0) flag = &o.version;
        if (!flag || value) {
            snprintf(why, whySize, "%s '%s'", flag ? "no value allowed" : "unknown option", arg);
            return false;
        }
        *flag = true;
    }
    if (windowed && fullscreen) {
        snprintf(why, whySize, "--windowed and --fullscreen together");
        return false;
    }
    if (alone && o.play) {
        snprintf(why, whySize, "unexpected argument '%s'", alone);
        return false;
    }
    if (alone) o.play = alone;
    o.screen = windowed ? SCREEN_WINDOWED : fullscreen ? SCREEN_FULL : SCREEN_ASK;
    return true;
}

void printHelp(FILE* out)
{
    fprintf(out, "%s\n\n", USAGE);
    fputs("Drive a truck and trailer over random hills.\n"
          "\n"
          "  --windowed       open an 800x600 window without asking\n"
          "  --fullscreen     switch the display to 800x600 without asking\n"
          "  --fit            keep the picture as large as the window at 4:3,\n"
          "                   centred, with black bars around it\n"
          "  --record FILE    write a hillcar-replay script of the run to FILE\n"
          "  --play FILE      play the script in FILE, then hand the controls back\n"
          "  FILE             the same as --play FILE\n"
          "  --trace FILE     write the world state after every frame to FILE,\n"
          "                   as hillcar-replay prints it\n"
          "  -h, --help       show this and end\n"
          "  -V, --version    show the version and end\n"
          "\n"
          "Keys:\n"
          "  Escape                quit\n"
          "  Left, Right           steer\n"
          "  Up, Down              speed up, slow down (or reverse)\n"
          "  (no arrow for 15 s)   the autopilot drives\n"
          "  Numpad 0, Backspace   line the rig up behind the truck (held)\n"
          "  V                     next of ten camera views (on release)\n"
          "  R                     random sky colour every frame (held)\n"
          "  Shift + R             next of three sky colours\n"
          "  1 ... 9, 0            terrain operations (held); 0 smooths locally\n"
          "  Enter                 a random terrain operation (held)\n"
          "  F                     smooth the whole terrain (held)\n"
          "  Shift + 1 ... 7       play a built-in terrain script\n"
          "  Shift + 0             stop the terrain script\n"
          "  Numpad +, '='         stretch the grid spacing (on release)\n"
          "  Numpad -, '-'         shrink the grid spacing (on release)\n"
          "  D                     show the rig's mechanics as markers (held)\n"
          "\n"
          "Gamepads (the keys they stand for; the keyboard works beside them):\n"
          "  left stick, d-pad left and right      Left, Right\n"
          "  right trigger, south button (A)       Up\n"
          "  left trigger, east button (B)         Down\n"
          "  north button (Y)                      V\n"
          "  west button (X)                       Numpad 0\n"
          "  right shoulder button                 D\n",
          out);
}
