#include "replay/trace.h"

#include "replay/json.h"

using namespace json;

void replayWriteTrace(FILE* out, uint64_t frame, uint32_t tick, const World& world,
                      const FrameValues& values, GlCounts gl)
{
    const TerrainState& terrain = world.terrain;
    const RigState& rig = world.rig;

    // Both sums in double, i outer and j inner, so that they do not depend on
    // the order a compiler might prefer.
    double wsum = 0;
    double csum[3] = {0, 0, 0};
    for (int i = 0; i < GRID; i++) {
        for (int j = 0; j < GRID; j++) {
            wsum += terrain.w[i][j];
            csum[0] += terrain.c[i][j].x;
            csum[1] += terrain.c[i][j].y;
            csum[2] += terrain.c[i][j].z;
        }
    }

    Writer& w = startLine(out);
    put(w, "{\"frame\": ");
    putInt(w, (long long)frame);
    key(w, "tick");
    putInt(w, tick);
    key(w, "dt");
    putFloat(w, values.dt);
    key(w, "opnum");
    putInt(w, values.opnum);
    key(w, "dorandom");
    putBool(w, values.dorandom);
    key(w, "dosmooth");
    putBool(w, values.dosmooth);
    key(w, "bumped");
    put(w, "[");
    for (int k = 0; k < 5; k++) {
        if (k) put(w, ", ");
        putBool(w, values.bumped[k]);
    }
    put(w, "]");
    key(w, "bsize");
    putFloat(w, bsize);
    key(w, "init");
    putBool(w, terrain.init);
    key(w, "ptime");
    putInt(w, terrain.ptime);
    key(w, "ptim2");
    putInt(w, terrain.ptim2);
    key(w, "pro");
    putInts(w, terrain.pro, 10);
    key(w, "pam");
    putInts(w, terrain.pam, 10);

    const struct {
        const char* name;
        float value;
    } rigFloats[] = {
        {"rtrn", rig.rtrn},     {"rspd", rig.rspd},     {"rrot", rig.rrot},
        {"vrot", rig.vrot},     {"rafall", rig.rafall}, {"rbfall", rig.rbfall},
        {"vafall", rig.vafall}, {"vbfall", rig.vbfall},
    };
    for (const auto& e : rigFloats) {
        key(w, e.name);
        putFloat(w, e.value);
    }
    key(w, "aimind");
    putInt(w, rig.aimind);
    key(w, "timeout");
    putFloat(w, rig.timeout);
    key(w, "btntime");
    putFloat(w, world.sky.btntime);
    key(w, "view");
    putInt(w, world.camera.view);

    const struct {
        const char* name;
        bool value;
    } flags[] = {
        {"vBtn", world.camera.vBtn}, {"addBtn", terrain.addBtn}, {"subBtn", terrain.subBtn},
        {"canturn", rig.canturn},    {"candrive", rig.candrive},
    };
    for (const auto& e : flags) {
        key(w, e.name);
        putBool(w, e.value);
    }
    key(w, "tra");
    putVec3(w, world.camera.tra);
    key(w, "rnos");
    putVec3(w, rig.rnos);
    key(w, "rais");
    putVec3(w, rig.rais);
    key(w, "clearcol");
    putVec3(w, world.sky.clearcol);
    key(w, "rpos");
    putFrame(w, rig.rpos);
    key(w, "vnos");
    putFrame(w, rig.vnos);
    key(w, "vpos");
    putFrame(w, rig.vpos);
    key(w, "wsum");
    putDouble(w, wsum);
    key(w, "csum");
    put(w, "[");
    putDouble(w, csum[0]);
    put(w, ", ");
    putDouble(w, csum[1]);
    put(w, ", ");
    putDouble(w, csum[2]);
    put(w, "]");
    key(w, "gl");
    put(w, "{\"begins\": ");
    putInt(w, gl.begins);
    put(w, ", \"vertices\": ");
    putInt(w, gl.vertices);
    put(w, ", \"colors\": ");
    putInt(w, gl.colors);
    put(w, "}}\n");
    flush(w);
}
