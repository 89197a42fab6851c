// The pedal editor driven offscreen through the effect's opcodes, the way a
// host drives it: faces, controls and their layout, gestures reaching the
// host, automation reaching the controls, the drawn pixels, and the editor
// base's idle, keys, wheel, knob mode, size requests and shared bundle.
#include "EditorHost.h"
#include "editor/EditorSnapshot.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace VSTGUI;

namespace {

struct EditorTest : ::testing::Test {
    EditorHost host;
    AEffect* effect = nullptr;

    static void SetUpTestSuite() { AEffGUIEditor::setBundleLocationOverride(GRAVEL_TEST_BUNDLE_DIR); }

    void SetUp() override { effect = EditorHost::load(); }
    void TearDown() override { EditorHost::unload(effect); }

    GRV_GUI* editor() const { return EditorHost::editorOf(effect); }
    CFrame* frame() const { return editor()->getFrame(); }
    VstIntPtr open() { return EditorHost::dispatch(effect, effEditOpen); }
    void close() { EditorHost::dispatch(effect, effEditClose); }

    void click(CCoord x, CCoord y)
    {
        CPoint p(x, y);
        frame()->onMouseDown(p, CButtonState(kLButton));
        frame()->onMouseUp(p, CButtonState(kLButton));
    }
    void redraw() { editor()->draw(nullptr); }
};

bool frontVisible(GRV_GUI* e)
{
    for (int i : {1, 2, 3, 4, 5, 8, 9})
        if (!e->getControl(i)->isVisible()) return false;
    return true;
}

bool backVisible(GRV_GUI* e)
{
    for (int i : {0, 6, 7, 10})
        if (!e->getControl(i)->isVisible()) return false;
    return e->getVersionLabel()->isVisible();
}

bool noneVisible(GRV_GUI* e, std::initializer_list<int> indices)
{
    for (int i : indices)
        if (e->getControl(i)->isVisible()) return false;
    return true;
}

}  // namespace

TEST_F(EditorTest, ReportsItsSizeBeforeTheFirstOpen)
{
    ERect* r = nullptr;
    EXPECT_EQ(EditorHost::dispatch(effect, effEditGetRect, 0, 0, &r), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->left, 0);
    EXPECT_EQ(r->top, 0);
    EXPECT_EQ(r->right, 263);
    EXPECT_EQ(r->bottom, 350);
    EXPECT_TRUE(effect->flags & effFlagsHasEditor);
    EXPECT_EQ(frame(), nullptr);
}

TEST_F(EditorTest, FirstOpenShowsTheFrontFaceWithEveryControlInPlace)
{
    ASSERT_EQ(open(), 1);
    GRV_GUI* e = editor();
    ASSERT_NE(frame(), nullptr);
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 263, 350));
    EXPECT_EQ(frame()->getBackground(), e->getFrontPanel());
    EXPECT_EQ(e->getPanelSwitch()->getValue(), 0.f);
    EXPECT_TRUE(frontVisible(e));
    EXPECT_TRUE(noneVisible(e, {0, 6, 7, 10}));
    EXPECT_FALSE(e->getVersionLabel()->isVisible());
    EXPECT_TRUE(e->getPanelSwitch()->isVisible());

    // Tag, rectangle and mouse-sensitive area of every control, with the
    // pictures' sizes: knob 100 x 100 per frame, toggles 26 x 40, slide
    // switches 32 x 20 and 42 x 20, panel switch 18 x 18, fader 133 x 20
    // with a 14 pixel handle.
    struct Expect {
        int index;
        CRect size, mouse;
    };
    const Expect table[] = {
        {0, {65, 283, 198, 303}, {65, 283, 198, 303}},  {1, {3, 0, 103, 100}, {28, 25, 78, 75}},
        {2, {81, 0, 181, 100}, {106, 25, 156, 75}},      {3, {159, 0, 259, 100}, {184, 25, 234, 75}},
        {4, {159, 97, 185, 137}, {159, 97, 185, 137}},   {5, {78, 97, 104, 137}, {78, 97, 104, 137}},
        {6, {68, 251, 100, 271}, {68, 251, 100, 271}},   {7, {171, 251, 203, 271}, {171, 251, 203, 271}},
        {8, {218, 317, 250, 337}, {218, 317, 250, 337}}, {9, {0, 0, 263, 350}, {119, 275, 145, 302}},
        {10, {111, 212, 153, 232}, {111, 212, 153, 232}},
    };
    for (const Expect& x : table) {
        CControl* c = e->getControl(x.index);
        ASSERT_NE(c, nullptr) << x.index;
        EXPECT_EQ(c->getTag(), x.index);
        EXPECT_EQ(c->getViewSize(), x.size) << x.index;
        EXPECT_EQ(c->getMouseableArea(), x.mouse) << x.index;
        EXPECT_EQ(c->getListener(), e);
        EXPECT_FLOAT_EQ(c->getValue(), effect->getParameter(effect, x.index)) << x.index;
    }
    EXPECT_EQ(e->getPanelSwitch()->getViewSize(), CRect(123, 317, 141, 335));
    EXPECT_EQ(e->getPanelSwitch()->getTag(), 1000);
    auto* drive = static_cast<CAnimKnob*>(e->getControl(1));
    EXPECT_EQ(drive->getNumSubPixmaps(), 99);
    EXPECT_EQ(drive->getHeightOfOneImage(), 100);
    auto* fader = static_cast<CHorizontalSlider*>(e->getControl(0));
    EXPECT_EQ(fader->getStyle(), kRight);
    EXPECT_FALSE(fader->getFreeClick());
    EXPECT_EQ(fader->getOffsetHandle(), CPoint(0, 1));
    // Input Level 0.5 puts the handle half way along its 118 pixels.
    EXPECT_EQ(fader->getHandleRect(), CRect(124, 284, 138, 302));
    EXPECT_EQ(e->getKnobMode(), 2);
}

TEST_F(EditorTest, PanelSwitchTurnsThePedalOverAndCloseKeepsTheFace)
{
    open();
    GRV_GUI* e = editor();
    CBitmap* front = e->getFrontPanel();
    CBitmap* back = e->getBackPanel();
    click(132, 326);
    EXPECT_FALSE(e->isFrontShown());
    EXPECT_EQ(e->getPanelSwitch()->getValue(), 1.f);
    EXPECT_EQ(frame()->getBackground(), back);
    EXPECT_TRUE(backVisible(e));
    EXPECT_TRUE(noneVisible(e, {1, 2, 3, 4, 5, 8, 9}));
    EXPECT_STREQ(e->getVersionLabel()->getText(), "VERSION 1.5.2");
    EXPECT_EQ(e->getVersionLabel()->getViewSize(), CRect(0, 107, 263, 122));
    EXPECT_EQ(e->getVersionLabel()->getFont(), kNormalFontSmaller);
    EXPECT_EQ(e->getVersionLabel()->getBackColor(), kTransparentCColor);
    EXPECT_EQ(e->getVersionLabel()->getFrameColor(), kTransparentCColor);
    // Turning the pedal is not a parameter: the host hears nothing.
    EXPECT_TRUE(host.calls.empty());
    // Front-face controls no longer take clicks.
    click(53, 50);
    click(132, 288);
    EXPECT_EQ(effect->getParameter(effect, 1), 0.f);
    EXPECT_EQ(effect->getParameter(effect, 9), 0.f);

    close();
    EXPECT_EQ(frame(), nullptr);
    EXPECT_EQ(e->getControl(1), nullptr);
    open();
    EXPECT_FALSE(e->isFrontShown());
    EXPECT_EQ(e->getPanelSwitch()->getValue(), 1.f);
    EXPECT_TRUE(backVisible(e));
    // Panel pictures are loaded once.
    EXPECT_EQ(e->getFrontPanel(), front);
    EXPECT_EQ(e->getBackPanel(), back);

    click(132, 326);
    EXPECT_TRUE(e->isFrontShown());
    EXPECT_TRUE(frontVisible(e));
    EXPECT_EQ(frame()->getBackground(), front);
}

TEST_F(EditorTest, DraggingDriveIsOneGestureOfAutomatedValues)
{
    open();
    CPoint p(53, 50);
    frame()->onMouseDown(p, CButtonState(kLButton));
    for (int dy = 10; dy <= 40; dy += 10) {
        CPoint q(53, 50 - dy);
        frame()->onMouseMoved(q, CButtonState(kLButton));
    }
    frame()->onMouseUp(p, CButtonState(kLButton));

    ASSERT_GE(host.calls.size(), 3u);
    EXPECT_EQ(host.calls.front().opcode, audioMasterBeginEdit);
    EXPECT_EQ(host.calls.front().index, 1);
    EXPECT_EQ(host.calls.back().opcode, audioMasterEndEdit);
    EXPECT_EQ(host.calls.back().index, 1);
    auto automated = host.callsOf(audioMasterAutomate);
    ASSERT_EQ(automated.size(), 4u);
    for (size_t i = 0; i < automated.size(); ++i) {
        EXPECT_EQ(automated[i].index, 1);
        EXPECT_NEAR(automated[i].opt, 0.05f * (i + 1), 1e-5);  // 200 pixels per turn
    }
    EXPECT_EQ(host.callsOf(audioMasterBeginEdit).size(), 1u);
    EXPECT_NEAR(effect->getParameter(effect, 1), 0.2f, 1e-5);
    EXPECT_NEAR(editor()->getControl(1)->getValue(), 0.2f, 1e-5);
}

TEST_F(EditorTest, ClicksOutsideAControlsSensitiveAreaDoNothing)
{
    open();
    // Inside the knob pictures but outside their 50 x 50 bodies.
    for (CPoint p : {CPoint(27, 50), CPoint(53, 24), CPoint(78, 50), CPoint(53, 75), CPoint(100, 90)}) click(p.h, p.v);
    // Inside the foot switch picture (the whole face) but off the switch.
    for (CPoint p : {CPoint(118, 288), CPoint(145, 288), CPoint(132, 274), CPoint(132, 302), CPoint(200, 200)})
        click(p.h, p.v);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(effect->getParameter(effect, 9), 0.f);

    // On the switch it bypasses, as one gesture.
    click(132, 288);
    EXPECT_EQ(effect->getParameter(effect, 9), 1.f);
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(host.calls[1].opcode, audioMasterAutomate);
    EXPECT_EQ(host.calls[1].opt, 1.f);
    EXPECT_EQ(host.calls[2].opcode, audioMasterEndEdit);
    for (const auto& c : host.calls) EXPECT_EQ(c.index, 9);

    // The overlay's one sensitive pixel is not a parameter either.
    host.calls.clear();
    click(0, 0);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(EditorTest, BackFaceControlsDriveTheirParameters)
{
    open();
    click(132, 326);
    click(148, 222);  // oversampling: right third is 8x
    EXPECT_EQ(effect->getParameter(effect, 10), 1.f);
    click(90, 261);  // in buffer on -> off
    EXPECT_EQ(effect->getParameter(effect, 6), 0.f);
    // The fader's handle at 124..138; minimum at the right end.
    CPoint grab(130, 290), right(500, 290);
    frame()->onMouseDown(grab, CButtonState(kLButton));
    frame()->onMouseMoved(right, CButtonState(kLButton));
    frame()->onMouseUp(right, CButtonState(kLButton));
    EXPECT_EQ(effect->getParameter(effect, 0), 0.f);
    // Off the handle the track does not jump.
    host.calls.clear();
    click(70, 290);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(EditorTest, HostAutomationMovesTheControlsOnlyWhileOpen)
{
    // Closed: ignored, and nothing fails.
    effect->setParameter(effect, 2, 0.9f);
    EXPECT_EQ(editor()->getControl(2), nullptr);

    open();
    auto* tone = static_cast<CAnimKnob*>(editor()->getControl(2));
    EXPECT_FLOAT_EQ(tone->getValue(), 0.9f);  // opened with the effect's value
    redraw();
    CColor before = frame()->getPixel(131 + 15, 50 - 15);
    effect->setParameter(effect, 2, 0.1f);
    EXPECT_FLOAT_EQ(tone->getValue(), 0.1f);
    EXPECT_EQ(tone->getFrameIndex(), 9);
    EXPECT_TRUE(host.calls.empty());
    EditorHost::dispatch(effect, effEditIdle);
    // The pointer left the upper right of the knob.
    EXPECT_NE(frame()->getPixel(131 + 15, 50 - 15), before);

    // Program changes reach every control; out-of-range indices are ignored.
    editor()->setParameter(11, 1.f);
    editor()->setParameter(-1, 1.f);
    effect->setParameter(effect, 10, 0.5f);
    EXPECT_EQ(static_cast<CHorizontalSwitch*>(editor()->getControl(10))->getPosition(), 1);
}

TEST_F(EditorTest, DrawnPixelsAreThePictureTheValuesSelect)
{
    effect->setParameter(effect, 1, 0.75f);
    open();
    redraw();
    // Expected: the front face with sub-picture floor(0.75 * 98) = 73 of the
    // knob over it, composed here independently of the toolkit.
    std::string res = std::string(GRAVEL_TEST_BUNDLE_DIR) + "/Contents/Resources/";
    cairo_surface_t* knob = cairo_image_surface_create_from_png((res + "PlasticKnob.png").c_str());
    ASSERT_EQ(cairo_surface_status(knob), CAIRO_STATUS_SUCCESS);
    auto expectSquare = [&](int frameIndex) {
        cairo_surface_t* expect = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 263, 350);
        cairo_t* cr = cairo_create(expect);
        cairo_set_source_surface(cr, editor()->getFrontPanel()->getSurface(), 0, 0);
        cairo_paint(cr);
        cairo_rectangle(cr, 3, 0, 100, 100);
        cairo_clip(cr);
        cairo_set_source_surface(cr, knob, 3, -100.0 * frameIndex);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(expect);
        int mismatches = 0;
        const unsigned char* data = cairo_image_surface_get_data(expect);
        int stride = cairo_image_surface_get_stride(expect);
        for (int y = 25; y < 75; ++y)
            for (int x = 28; x < 78; ++x) {
                uint32_t p = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
                CColor got = frame()->getPixel(x, y);
                if (std::abs(int((p >> 16) & 0xff) - got.red) > 1 || std::abs(int((p >> 8) & 0xff) - got.green) > 1 ||
                    std::abs(int(p & 0xff) - got.blue) > 1)
                    ++mismatches;
            }
        cairo_surface_destroy(expect);
        return mismatches;
    };
    EXPECT_EQ(expectSquare(73), 0);
    EXPECT_GT(expectSquare(60), 50);  // another value's picture differs visibly
    cairo_surface_destroy(knob);

    // The bypass LED is lit while the effect is engaged.
    CColor led = frame()->getPixel(132, 238);
    EXPECT_GT(led.red, 200);
    EXPECT_LT(led.green, 120);
    effect->setParameter(effect, 9, 1.f);
    redraw();
    EXPECT_LT(frame()->getPixel(132, 238).red, 200);
}

TEST_F(EditorTest, SnapshotWritesEitherFaceAndLeavesTheEditorAsItWas)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("gravel-snap-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string front = (dir / "front.png").string(), back = (dir / "back.png").string();
    std::string error;
    ASSERT_TRUE(gravel::renderEditorSnapshot(effect, false, front.c_str(), &error)) << error;
    ASSERT_TRUE(gravel::renderEditorSnapshot(effect, true, back.c_str(), &error)) << error;
    EXPECT_TRUE(editor()->isFrontShown());
    EXPECT_EQ(frame(), nullptr);
    EXPECT_TRUE(host.calls.empty());

    auto pixel = [](const std::string& path, int x, int y) {
        cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
        EXPECT_EQ(cairo_image_surface_get_width(s), 263);
        EXPECT_EQ(cairo_image_surface_get_height(s), 350);
        uint32_t p = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                       y * cairo_image_surface_get_stride(s))[x];
        cairo_surface_destroy(s);
        return p & 0xffffff;
    };
    // The face colours differ: rust front, steel back.
    uint32_t f = pixel(front, 40, 150), b = pixel(back, 40, 150);
    uint32_t ledLit = pixel(front, 132, 238);
    EXPECT_GT(int((f >> 16) & 0xff) - int(f & 0xff), 60);
    EXPECT_LT(std::abs(int((b >> 16) & 0xff) - int(b & 0xff)), 30);
    EXPECT_FALSE(gravel::renderEditorSnapshot(nullptr, false, front.c_str(), &error));

    // The effect as a tool makes it in its own image, with a parameter set
    // the way `gravel snapshot --set` would.
    AEffect* own = gravel::createEffectWithEditor(&EditorHost::callback, GRAVEL_TEST_BUNDLE_DIR);
    ASSERT_NE(own, nullptr);
    own->setParameter(own, 9, 1.f);
    EXPECT_TRUE(gravel::renderEditorSnapshot(own, false, front.c_str(), &error)) << error;
    EditorHost::unload(own);
    EXPECT_EQ(pixel(front, 40, 150), f);
    EXPECT_LT((pixel(front, 132, 238) >> 16) & 0xff, (ledLit >> 16) & 0xff);  // bypassed: LED dark
    auto refuse = [](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr { return 0; };
    EXPECT_EQ(gravel::createEffectWithEditor(refuse, GRAVEL_TEST_BUNDLE_DIR), nullptr);
    fs::remove_all(dir);
}

TEST_F(EditorTest, ClosedEditorIgnoresIdleKeysAndWheel)
{
    GRV_GUI* e = editor();
    ::VstKeyCode key{0, 12, 0};
    EXPECT_FALSE(e->onKeyDown(key));
    EXPECT_FALSE(e->onKeyUp(key));
    EXPECT_FALSE(e->onWheel(1.f));
    EXPECT_EQ(EditorHost::dispatch(effect, effEditKeyDown, 0, 12), 0);
    EditorHost::dispatch(effect, effEditIdle);
    e->draw(nullptr);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(EditorTest, KeysAndWheelReachTheControlUnderThePointer)
{
    open();
    // Put the pointer on Drive; the arrow key (virtual key 12, up) turns it.
    CPoint p(53, 50);
    frame()->onMouseMoved(p, CButtonState());
    EXPECT_EQ(EditorHost::dispatch(effect, effEditKeyDown, 0, 12), 1);
    EXPECT_NEAR(effect->getParameter(effect, 1), 0.1f, 1e-6);
    EXPECT_EQ(EditorHost::dispatch(effect, effEditKeyDown, 'x', 0), 0);
    EXPECT_TRUE(editor()->onWheel(2.f));
    EXPECT_NEAR(effect->getParameter(effect, 1), 0.3f, 1e-6);
    EXPECT_EQ(host.callsOf(audioMasterBeginEdit).size(), 2u);
    EXPECT_EQ(host.callsOf(audioMasterEndEdit).size(), 2u);
}

TEST_F(EditorTest, IdleWorkIsThrottledAndTheHostIdlesAfterIt)
{
    GRV_GUI* e = editor();
    AEffGUIEditor::wait(120);
    e->doIdleStuff();
    EXPECT_EQ(host.callsOf(audioMasterIdle).size(), 1u);
    AEffGUIEditor::wait(10);
    uint32_t before = AEffGUIEditor::getTicks();
    e->doIdleStuff();  // early: waits 4 ms and gives up
    EXPECT_GE(AEffGUIEditor::getTicks() - before, 4u);
    EXPECT_EQ(host.callsOf(audioMasterIdle).size(), 1u);
    AEffGUIEditor::wait(60);  // now within 50 ms of the due time
    e->doIdleStuff();
    EXPECT_EQ(host.callsOf(audioMasterIdle).size(), 2u);
}

TEST_F(EditorTest, KnobModeIsSharedByEveryEditor)
{
    AEffect* other = EditorHost::load();
    EXPECT_EQ(EditorHost::dispatch(effect, effSetEditKnobMode, 0, 1), 1);
    EXPECT_EQ(EditorHost::editorOf(other)->getKnobMode(), 1);
    EditorHost::editorOf(other)->setKnobMode(2);
    EXPECT_EQ(editor()->getKnobMode(), 2);
    EditorHost::unload(other);
}

TEST_F(EditorTest, SizeChangesGoThroughTheHostWhenItCanResize)
{
    open();
    EXPECT_TRUE(frame()->setSize(300, 400));
    EXPECT_TRUE(host.callsOf(audioMasterSizeWindow).empty());
    host.answersSizeWindow = true;
    EXPECT_TRUE(frame()->setSize(263, 350));
    auto sized = host.callsOf(audioMasterSizeWindow);
    ASSERT_EQ(sized.size(), 1u);
    EXPECT_EQ(sized[0].index, 263);
    EXPECT_EQ(sized[0].value, 350);
}

TEST_F(EditorTest, OpeningTwiceWithoutCloseKeepsOneFrame)
{
    // (The sanitizer build's leak check sees a frame left behind.)
    open();
    open();
    ASSERT_NE(frame(), nullptr);
    EXPECT_EQ(frame()->getNbViews(), 14);  // label, one overlay, 12 controls
    EXPECT_TRUE(frontVisible(editor()));
}

// Two plug-in instances share the bundle reference: closing either one
// first must leave the other able to load its pictures.
// A host window but no display to put the editor on: the host hears that
// no editor opened, and the editor stays usable for a later open.
TEST_F(EditorTest, NoDisplayMeansNoEditorForAHostWindow)
{
    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    unsetenv("DISPLAY");
    EXPECT_EQ(EditorHost::dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(0x400001))), 0);
    EXPECT_EQ(frame(), nullptr);
    EditorHost::dispatch(effect, effEditIdle);
    close();
    if (saved) setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(open(), 1);
    EXPECT_NE(frame(), nullptr);
    close();
}

TEST(EditorBundle, TwoInstancesClosedInEitherOrder)
{
    AEffGUIEditor::setBundleLocationOverride(GRAVEL_TEST_BUNDLE_DIR);
    EditorHost host;
    for (bool firstGoesFirst : {true, false}) {
        ASSERT_EQ(gBundleRef, nullptr);
        AEffect* a = EditorHost::load();
        AEffect* b = EditorHost::load();
        EXPECT_NE(gBundleRef, nullptr);
        EditorHost::dispatch(a, effEditOpen);
        EditorHost::dispatch(b, effEditOpen);
        AEffect* gone = firstGoesFirst ? a : b;
        AEffect* stays = firstGoesFirst ? b : a;
        EditorHost::unload(gone);
        EXPECT_NE(gBundleRef, nullptr);
        EditorHost::dispatch(stays, effEditClose);
        EditorHost::dispatch(stays, effEditOpen);
        GRV_GUI* e = EditorHost::editorOf(stays);
        ASSERT_NE(e->getFrame(), nullptr);
        EXPECT_EQ(static_cast<CAnimKnob*>(e->getControl(1))->getHeightOfOneImage(), 100);
        EXPECT_EQ(e->getFrame()->getViewSize(), CRect(0, 0, 263, 350));
        EditorHost::unload(stays);
        EXPECT_EQ(gBundleRef, nullptr);
    }
}

TEST(EditorBundle, MissingPicturesLeaveAnEmptyButWorkingEditor)
{
    AEffGUIEditor::setBundleLocationOverride("/nonexistent/Gravel.vst");
    EditorHost host;
    AEffect* a = EditorHost::load();
    EXPECT_EQ(EditorHost::dispatch(a, effEditOpen), 1);
    GRV_GUI* e = EditorHost::editorOf(a);
    EXPECT_TRUE(e->getFrame()->getViewSize().isEmpty());
    a->setParameter(a, 1, 0.5f);
    e->draw(nullptr);
    EditorHost::dispatch(a, effEditIdle);
    EditorHost::dispatch(a, effEditClose);
    EditorHost::unload(a);
    AEffGUIEditor::setBundleLocationOverride(GRAVEL_TEST_BUNDLE_DIR);
}

// Without an override the bundle is the loaded image's folder three levels
// up (<bundle>/Contents/<arch>/<executable>); here the image is this test.
TEST(EditorBundle, LocatedFromTheLoadedImagesPath)
{
    AEffGUIEditor::setBundleLocationOverride("");
    std::string exe = std::filesystem::canonical("/proc/self/exe").string();
    std::string expected = exe;
    for (int i = 0; i < 3; ++i) expected.erase(expected.rfind('/'));
    EXPECT_EQ(AEffGUIEditor::locateBundle(), expected);
    AEffGUIEditor::setBundleLocationOverride(GRAVEL_TEST_BUNDLE_DIR);
    EXPECT_EQ(AEffGUIEditor::locateBundle(), GRAVEL_TEST_BUNDLE_DIR);
}
