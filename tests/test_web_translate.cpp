// The page's translator from recorded GL calls to WebGL draws, and the page's
// key map. The calls go through the recording GL, as the page's frames do.
#include "platform/scripted/gl_record.h"
#include "platform/web/gl_translate.h"
#include "platform/web/web_keys.h"
#include "render/scene.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

WebFrame frame;
TranslatorState state;

// Translates everything recorded since the last reset, from GL's initial state.
void translateRecorded()
{
    resetTranslator(state);
    beginWebFrame(frame);
    translateCalls(state, 0, glrecSize(), frame);
}

struct Clip {
    double x, y, z, w;
};

Clip transform(const WebDraw& d, float x, float y, float z)
{
    const float* m = d.mvp;
    return Clip{m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
                m[2] * x + m[6] * y + m[10] * z + m[14], m[3] * x + m[7] * y + m[11] * z + m[15]};
}

} // namespace

TEST(WebTranslate, QuadCornersInOrderWithTheirColours)
{
    glrecReset();
    glBegin(GL_QUADS);
    glColor3f(0.5f, -1.0f, 2.0f);
    glVertex3f(0, 0, 0);
    glColor4f(0.0f, 1.0f, 0.25f, 0.5f);
    glVertex3f(1, 0, 0);
    glVertex3f(1, 1, 0);
    glColor3f(1, 1, 1);
    glVertex3f(0, 1, 0);
    glEnd();
    glColor3f(0.25f, 0.5f, 0.75f); // after the primitive, for the next one
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; k++) glVertex3f(2, (float)k, 0);
    glEnd();
    translateRecorded();

    // One draw of quads: the page splits each on its 1-3 diagonal.
    ASSERT_EQ(frame.drawCount, 1);
    ASSERT_EQ(frame.vertexCount, 8);
    EXPECT_EQ(frame.draws[0].kind, WEBDRAW_QUADS);
    EXPECT_EQ(frame.draws[0].first, 0);
    EXPECT_EQ(frame.draws[0].count, 8);
    const float xs[4] = {0, 1, 1, 0};
    const float ys[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(frame.vertices[k].x, xs[k]) << k;
        EXPECT_EQ(frame.vertices[k].y, ys[k]) << k;
        EXPECT_EQ(frame.vertices[4 + k].y, (float)k) << k;
    }
    // Colours as given (the page's shader clamps them); glColor3f: alpha 1.
    const WebVertex& v0 = frame.vertices[0];
    EXPECT_EQ(v0.r, 0.5f);
    EXPECT_EQ(v0.g, -1.0f);
    EXPECT_EQ(v0.b, 2.0f);
    EXPECT_EQ(v0.a, 1.0f);
    const WebVertex& v1 = frame.vertices[1];
    EXPECT_EQ(v1.g, 1.0f);
    EXPECT_EQ(v1.b, 0.25f);
    EXPECT_EQ(v1.a, 0.5f);
    EXPECT_EQ(frame.vertices[2].a, 0.5f); // the colour carries over to the next vertex
    EXPECT_EQ(frame.vertices[3].a, 1.0f);
    EXPECT_EQ(frame.vertices[7].r, 0.25f); // and over glEnd
    EXPECT_EQ(frame.vertices[7].b, 0.75f);
}

TEST(WebTranslate, TrianglesWholeOnlyAndOtherModesLeftOut)
{
    glrecReset();
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 5; k++) glVertex3f((float)k, 0, 0); // a triangle and two spare vertices
    glEnd();
    glBegin(GL_LINES);
    glVertex3f(0, 0, 0);
    glVertex3f(1, 1, 1);
    glEnd();
    glBegin(GL_QUADS);
    for (int k = 0; k < 3; k++) glVertex3f(9, 9, (float)k); // an unfinished quad
    glEnd();
    glBegin(GL_TRIANGLES);
    glVertex3f(7, 0, 0); // the spare vertices above must not complete this one
    glEnd();
    glVertex3f(8, 0, 0); // outside any primitive
    translateRecorded();

    ASSERT_EQ(frame.vertexCount, 3);
    ASSERT_EQ(frame.drawCount, 1);
    EXPECT_EQ(frame.draws[0].kind, WEBDRAW_TRIANGLES);
    EXPECT_EQ(frame.draws[0].count, 3);
    EXPECT_EQ(frame.vertices[0].x, 0.0f);
    EXPECT_EQ(frame.vertices[2].x, 2.0f);
}

TEST(WebTranslate, NewDrawOnlyWhenTheStateChanges)
{
    glrecReset();
    glClearColor(0.5f, 2.0f, -1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 6; k++) glVertex3f((float)k, 0, 0);
    glEnd();
    glBegin(GL_TRIANGLES); // same state: the same draw goes on
    for (int k = 0; k < 3; k++) glVertex3f((float)k, 1, 0);
    glEnd();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_SRC_COLOR);
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; k++) glVertex3f((float)k, 2, 0);
    glEnd();
    glDisable(GL_BLEND);
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 3; k++) glVertex3f((float)k, 3, 0);
    glEnd();
    translateRecorded();

    ASSERT_EQ(frame.drawCount, 4);
    const WebDraw& clear = frame.draws[0];
    EXPECT_EQ(clear.kind, WEBDRAW_CLEAR);
    EXPECT_EQ(clear.clearMask, (uint32_t)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    EXPECT_EQ(clear.clearColour[0], 0.5f);
    EXPECT_EQ(clear.clearColour[1], 1.0f);
    EXPECT_EQ(clear.clearColour[2], 0.0f);

    const WebDraw& plain = frame.draws[1];
    EXPECT_EQ(plain.first, 0);
    EXPECT_EQ(plain.count, 9);
    EXPECT_EQ(plain.depthTest, 1);
    EXPECT_EQ(plain.blend, 0);
    const WebDraw& water = frame.draws[2];
    EXPECT_EQ(water.kind, WEBDRAW_QUADS);
    EXPECT_EQ(water.first, 9);
    EXPECT_EQ(water.count, 4);
    EXPECT_EQ(water.blend, 1);
    EXPECT_EQ(water.blendSrc, GL_SRC_ALPHA);
    EXPECT_EQ(water.blendDst, GL_SRC_COLOR);
    EXPECT_EQ(frame.draws[3].kind, WEBDRAW_TRIANGLES);
    EXPECT_EQ(frame.draws[3].first, 13);
    EXPECT_EQ(frame.draws[3].blend, 0);
}

TEST(WebTranslate, ProjectionLookAtAndTheMatrixStack)
{
    glrecReset();
    setFixedProjection();
    glLoadIdentity();
    glPushMatrix();
    gluLookAt(0, 0, 5, 0, 0, 0, 0, 1, 0);
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 3; k++) glVertex3f(0, 0, 0);
    glEnd();
    glPopMatrix();
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 3; k++) glVertex3f(0, 0, 0);
    glEnd();
    translateRecorded();

    ASSERT_EQ(frame.drawCount, 2);
    // The origin seen from 5 units away along +z: 5 in front of the eye.
    const double n = 0.25, f = 250.0;
    Clip c = transform(frame.draws[0], 0, 0, 0);
    EXPECT_NEAR(c.x, 0.0, 1e-6);
    EXPECT_NEAR(c.y, 0.0, 1e-6);
    EXPECT_NEAR(c.w, 5.0, 1e-5);
    EXPECT_NEAR(c.z, (f + n) / (f - n) * 5.0 - 2.0 * f * n / (f - n), 1e-4);
    // A point one unit up at that depth: cot(22.5 degrees) over w.
    Clip up = transform(frame.draws[0], 0, 1, 0);
    EXPECT_NEAR(up.y / up.w, 1.0 / std::tan(22.5 * M_PI / 180.0) / 5.0, 1e-5);
    // Right of the eye, squeezed by the 4:3 aspect.
    Clip right = transform(frame.draws[0], 1, 0, 0);
    EXPECT_NEAR(right.x / right.w, 1.0 / std::tan(22.5 * M_PI / 180.0) / 5.0 * 0.75, 1e-5);
    // After the pop the look-at is gone: the eye is back at the origin, and a
    // point one unit down -z lies one unit in front of it.
    Clip popped = transform(frame.draws[1], 0, 0, -1);
    EXPECT_NEAR(popped.w, 1.0, 1e-6);
}

TEST(WebTranslate, StackMisuseAndOverflowAreHarmless)
{
    glrecReset();
    for (int k = 0; k < 40; k++) glPushMatrix();
    for (int k = 0; k < 45; k++) glPopMatrix();
    // More quads than the vertex array holds.
    glBegin(GL_QUADS);
    const int quads = (int)(WEB_MAX_VERTICES / 4) + 100;
    for (int q = 0; q < quads; q++)
        for (int k = 0; k < 4; k++) glVertex3f((float)q, (float)k, 0);
    glEnd();
    translateRecorded();

    EXPECT_EQ(state.modelviewTop, 0);
    EXPECT_LE((size_t)frame.vertexCount, WEB_MAX_VERTICES);
    EXPECT_EQ(frame.vertexCount % 4, 0);
    EXPECT_EQ((long)frame.vertexCount + frame.dropped, (long)quads * 4);
    EXPECT_GT(frame.dropped, 0);

    // More changes of state than there are draws.
    glrecReset();
    for (int k = 0; k < WEB_MAX_DRAWS + 10; k++) {
        if (k % 2) glEnable(GL_BLEND);
        else glDisable(GL_BLEND);
        glBegin(GL_TRIANGLES);
        for (int c = 0; c < 3; c++) glVertex3f((float)k, (float)c, 0);
        glEnd();
    }
    translateRecorded();
    EXPECT_EQ(frame.drawCount, WEB_MAX_DRAWS);
    EXPECT_EQ(frame.vertexCount, 3 * WEB_MAX_DRAWS);
    EXPECT_EQ(frame.dropped, 3 * 10);
}

TEST(WebKeys, CodesToVirtualKeys)
{
    auto vk = [](const char* code) {
        int slot = getWebKeySlot(code);
        return slot < 0 ? 0 : getSlotVirtualKey(slot);
    };
    EXPECT_EQ(vk("KeyA"), 'A');
    EXPECT_EQ(vk("KeyV"), 'V');
    EXPECT_EQ(vk("KeyZ"), 'Z');
    EXPECT_EQ(vk("Digit0"), '0');
    EXPECT_EQ(vk("Digit9"), '9');
    EXPECT_EQ(vk("ArrowUp"), VK_UP);
    EXPECT_EQ(vk("ArrowLeft"), VK_LEFT);
    EXPECT_EQ(vk("ShiftLeft"), VK_SHIFT);
    EXPECT_EQ(vk("ShiftRight"), VK_SHIFT);
    EXPECT_EQ(vk("Enter"), VK_RETURN);
    EXPECT_EQ(vk("NumpadEnter"), VK_RETURN);
    EXPECT_EQ(vk("Numpad0"), VK_NUMPAD0);
    EXPECT_EQ(vk("NumpadAdd"), VK_ADD);
    EXPECT_EQ(vk("NumpadSubtract"), VK_SUBTRACT);
    // The laptop aliases.
    EXPECT_EQ(vk("Backspace"), VK_NUMPAD0);
    EXPECT_EQ(vk("Equal"), VK_ADD);
    EXPECT_EQ(vk("Minus"), VK_SUBTRACT);
    for (const char* unused : {"", "Key", "KeyAA", "Keya", "Digit", "Digit10", "F1", "Numpad1",
                               "ControlLeft", "Space", "arrowup"})
        EXPECT_EQ(getWebKeySlot(unused), -1) << unused;
}

TEST(WebKeys, EverySlotItsOwnAndEveryKeyReachable)
{
    std::set<int> vks;
    for (int slot = 0; slot < WEB_KEY_SLOTS; slot++) {
        int vk = getSlotVirtualKey(slot);
        EXPECT_GT(vk, 0);
        EXPECT_LT(vk, 256);
        vks.insert(vk);
    }
    for (int k : {VK_RETURN, VK_SHIFT, VK_ESCAPE, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_NUMPAD0,
                  VK_ADD, VK_SUBTRACT})
        EXPECT_EQ(vks.count(k), 1u) << k;
    EXPECT_EQ(vks.size(), 26u + 10u + 10u);
    // Each slot comes back from its own code.
    EXPECT_EQ(getWebKeySlot(webOtherKeys[0].code), 36);
    EXPECT_EQ(getWebKeySlot(webOtherKeys[WEB_OTHER_KEYS - 1].code), WEB_KEY_SLOTS - 1);
}
