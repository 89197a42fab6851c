// The widget layer on an offscreen frame: geometry, pictures, each control's
// mouse behaviour and drawing, and the frame's dispatch.
#include "toolkit/vstgui.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace VSTGUI;

namespace {

// Records what the frame asks of its editor.
struct TestEditor : VSTGUIEditorInterface {
    int32_t mode = 0;
    bool allowResize = true;
    std::vector<std::pair<char, int32_t>> gestures;  // ('b' | 'e', tag)
    int resizeRequests = 0;

    int32_t getKnobMode() const override { return mode; }
    bool beginEdit(int32_t i) override { gestures.push_back({'b', i}); return true; }
    bool endEdit(int32_t i) override { gestures.push_back({'e', i}); return true; }
    bool beforeSizeChange(const CRect&, const CRect&) override { ++resizeRequests; return allowResize; }
};

struct TestListener : CControlListener {
    std::vector<float> values;
    void valueChanged(CControl* c) override { values.push_back(c->getValue()); }
};

// A picture of n stacked sub-pictures of w x h, sub-picture i filled with
// the grey level 10 * i + 5.
CBitmap* stripes(int w, int h, int n)
{
    CBitmap* b = new CBitmap(w, h * n);
    cairo_t* cr = cairo_create(b->getSurface());
    for (int i = 0; i < n; ++i) {
        double g = (10 * i + 5) / 255.0;
        cairo_set_source_rgb(cr, g, g, g);
        cairo_rectangle(cr, 0, i * h, w, h);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    return b;
}

int greyAt(CFrame* f, int x, int y)
{
    return f->getPixel(x, y).red;
}

void redraw(CFrame* f)
{
    CDrawContext* c = f->createDrawContext();
    f->drawRect(c, f->getViewSize());
    c->forget();
}

CButtonState left(int32_t extra = 0)
{
    return CButtonState(kLButton | extra);
}

void drag(CFrame* f, CPoint from, CPoint to, int32_t modifiers = 0)
{
    f->onMouseDown(from, left(modifiers));
    f->onMouseMoved(to, left(modifiers));
    f->onMouseUp(to, left(modifiers));
}

struct FrameTest : ::testing::Test {
    TestEditor editor;
    TestListener listener;
    CFrame* frame = new CFrame(CRect(0, 0, 200, 200), nullptr, &editor);
    ~FrameTest() override { frame->forget(); }
};

}  // namespace

TEST(Geometry, RectanglesAreHalfOpenAndCombine)
{
    CRect r(10, 20, 30, 40);
    EXPECT_TRUE(r.pointInside(CPoint(10, 20)));
    EXPECT_FALSE(r.pointInside(CPoint(30, 25)));
    EXPECT_FALSE(r.pointInside(CPoint(15, 40)));
    EXPECT_EQ(CRect(10, 20, 30, 40).bound(CRect(25, 0, 100, 30)), CRect(25, 20, 30, 30));
    EXPECT_TRUE(CRect(0, 0, 5, 5).bound(CRect(10, 10, 20, 20)).isEmpty());
    EXPECT_EQ(CRect(0, 0, 5, 5).unite(CRect(10, 10, 20, 20)), CRect(0, 0, 20, 20));
    EXPECT_EQ(CRect().unite(CRect(1, 2, 3, 4)), CRect(1, 2, 3, 4));
    EXPECT_FALSE(CRect(0, 0, 10, 10).rectOverlap(CRect(10, 0, 20, 10)));
}

TEST(Bitmap, LoadsPngAndBmpByNameFromTheBundleResources)
{
    namespace fs = std::filesystem;
    fs::path bundle = fs::temp_directory_path() / ("gravel-toolkit-" + std::to_string(::getpid()) + ".vst");
    fs::create_directories(bundle / "Contents" / "Resources");
    fs::path res = bundle / "Contents" / "Resources";

    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 7, 9);
    ASSERT_EQ(cairo_surface_write_to_png(s, (res / "a.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    std::vector<unsigned char> px(5 * 3 * 3, 200);
    ASSERT_TRUE(stbi_write_bmp((res / "b.bmp").c_str(), 5, 3, 3, px.data()));

    CFBundleRef saved = gBundleRef;
    gBundleRef = bundleCreate(bundle.string());
    CBitmap* png = new CBitmap("a.png");
    CBitmap* bmp = new CBitmap("b.bmp");
    CBitmap* missing = new CBitmap("nothing.png");
    EXPECT_EQ(png->getWidth(), 7);
    EXPECT_EQ(png->getHeight(), 9);
    EXPECT_EQ(bmp->getWidth(), 5);
    EXPECT_EQ(bmp->getHeight(), 3);
    EXPECT_TRUE(bmp->isLoaded());
    // A missing picture is empty and draws nothing.
    EXPECT_FALSE(missing->isLoaded());
    EXPECT_EQ(missing->getWidth(), 0);
    EXPECT_EQ(missing->getHeight(), 0);
    CFrame* f = new CFrame(CRect(0, 0, 10, 10), nullptr, nullptr);
    f->setBackground(bmp);
    redraw(f);
    EXPECT_EQ(greyAt(f, 1, 1), 200);
    f->setBackground(missing);
    redraw(f);
    EXPECT_EQ(greyAt(f, 1, 1), 0);
    f->forget();
    for (CBitmap* b : {png, bmp, missing}) b->forget();
    CFRelease(gBundleRef);
    gBundleRef = saved;
    fs::remove_all(bundle);
}

TEST_F(FrameTest, LinearKnobFollowsTheDragAndBracketsItWithEditGestures)
{
    editor.mode = CAnimKnob::kLinearMode;
    CBitmap* pic = stripes(40, 40, 11);
    CAnimKnob* knob = new CAnimKnob(CRect(10, 10, 50, 50), &listener, 3, 11, 40, pic);
    pic->forget();
    frame->addView(knob);
    knob->setValue(0.2f);

    // 200 pixels sweep the whole range; up and right both turn it up.
    drag(frame, CPoint(30, 30), CPoint(50, 0));
    EXPECT_NEAR(knob->getValue(), 0.45f, 1e-5);
    ASSERT_EQ(editor.gestures.size(), 2u);
    EXPECT_EQ(editor.gestures[0], std::make_pair('b', 3));
    EXPECT_EQ(editor.gestures[1], std::make_pair('e', 3));
    ASSERT_FALSE(listener.values.empty());
    EXPECT_NEAR(listener.values.back(), 0.45f, 1e-5);

    // Fine mode: ten times the travel.
    knob->setValue(0.5f);
    drag(frame, CPoint(30, 30), CPoint(30, 10), kZoomModifier);
    EXPECT_NEAR(knob->getValue(), 0.51f, 1e-5);

    // Clamped at the ends.
    drag(frame, CPoint(30, 30), CPoint(30, -900));
    EXPECT_EQ(knob->getValue(), 1.f);

    // The sub-picture drawn is the value's: 0.5 of 11 is picture 5.
    knob->setValue(0.5f);
    redraw(frame);
    EXPECT_EQ(greyAt(frame, 30, 30), 55);
    knob->setValue(1.f);
    redraw(frame);
    EXPECT_EQ(greyAt(frame, 30, 30), 105);
}

TEST_F(FrameTest, CircularKnobTakesThePointersAngle)
{
    editor.mode = CAnimKnob::kCircularMode;
    CAnimKnob* knob = new CAnimKnob(CRect(0, 0, 100, 100), &listener, 1, 1, 100, nullptr);
    frame->addView(knob);
    // The sweep is 300 degrees clockwise from 240 degrees: straight up is
    // the middle, 3 o'clock is 0.8, straight down is in the gap.
    CPoint up(50, 10), right(90, 50), downLeft(49, 95), downRight(51, 95);
    frame->onMouseDown(up, left());
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-4);
    frame->onMouseMoved(right, left());
    EXPECT_NEAR(knob->getValue(), 0.8f, 1e-4);
    frame->onMouseMoved(downRight, left());
    EXPECT_EQ(knob->getValue(), 1.f);
    frame->onMouseMoved(downLeft, left());
    EXPECT_EQ(knob->getValue(), 0.f);
    frame->onMouseUp(downLeft, left());

    // Relative: only the change of angle counts, wherever the drag starts.
    editor.mode = CAnimKnob::kRelativCircularMode;
    knob->setValue(0.5f);
    frame->onMouseDown(right, left());
    EXPECT_EQ(knob->getValue(), 0.5f);
    frame->onMouseMoved(up, left());  // 90 degrees counter-clockwise
    EXPECT_NEAR(knob->getValue(), 0.5f - 90.f / 300.f, 1e-4);
    frame->onMouseUp(up, left());
}

TEST_F(FrameTest, WheelAndArrowKeysStepTheKnobUnderThePointer)
{
    CAnimKnob* knob = new CAnimKnob(CRect(0, 0, 50, 50), &listener, 2, 1, 50, nullptr);
    frame->addView(knob);
    knob->setValue(0.5f);
    EXPECT_TRUE(frame->onWheel(CPoint(10, 10), 1.f, CButtonState()));
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    EXPECT_FALSE(frame->onWheel(CPoint(100, 100), 1.f, CButtonState()));
    EXPECT_EQ(editor.gestures.size(), 2u);

    CPoint at(10, 10);
    frame->onMouseMoved(at, CButtonState());
    VstKeyCode down;
    down.virt = VKEY_DOWN;
    EXPECT_GT(frame->onKeyDown(down), 0);
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6);
    VstKeyCode letter;
    letter.character = 'a';
    EXPECT_EQ(frame->onKeyDown(letter), -1);
}

TEST_F(FrameTest, OnOffButtonFlipsAndShowsItsState)
{
    CBitmap* pic = stripes(20, 10, 2);
    COnOffButton* b = new COnOffButton(CRect(0, 0, 20, 10), &listener, 5, pic);
    pic->forget();
    frame->addView(b);
    CPoint p(5, 5);
    EXPECT_EQ(frame->onMouseDown(p, left()), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(b->getValue(), 1.f);
    redraw(frame);
    EXPECT_EQ(greyAt(frame, 5, 5), 15);
    frame->onMouseDown(p, left());
    EXPECT_EQ(b->getValue(), 0.f);
    EXPECT_EQ((std::vector<float>{1.f, 0.f}), listener.values);
    // Only the left button presses it.
    frame->onMouseDown(p, CButtonState(kRButton));
    EXPECT_EQ(b->getValue(), 0.f);
    // A value from the host counts as on from the middle of the range up.
    b->setValue(0.7f);
    redraw(frame);
    EXPECT_EQ(greyAt(frame, 5, 5), 15);
}

TEST_F(FrameTest, HorizontalSwitchPicksThePositionUnderThePointer)
{
    CBitmap* pic = stripes(30, 10, 3);
    CHorizontalSwitch* s = new CHorizontalSwitch(CRect(0, 0, 30, 10), &listener, 10, 3, 10, 3, pic);
    pic->forget();
    frame->addView(s);
    CPoint a(25, 5), b(15, 5), c(2, 5);
    frame->onMouseDown(a, left());
    EXPECT_EQ(s->getValue(), 1.f);
    frame->onMouseMoved(b, left());
    EXPECT_EQ(s->getValue(), 0.5f);
    frame->onMouseMoved(c, left());
    frame->onMouseUp(c, left());
    EXPECT_EQ(s->getValue(), 0.f);
    EXPECT_EQ(editor.gestures.size(), 2u);
    // Drawn picture: equal shares of the range.
    for (auto [v, grey] : {std::pair<float, int>{0.3f, 5}, {0.34f, 15}, {0.5f, 15}, {0.7f, 25}, {1.f, 25}}) {
        s->setValue(v);
        redraw(frame);
        EXPECT_EQ(greyAt(frame, 5, 5), grey) << v;
    }
}

TEST_F(FrameTest, SliderWithMinimumAtTheRightMovesOnlyByItsHandle)
{
    CBitmap* handle = stripes(10, 10, 1);
    CHorizontalSlider* s =
        new CHorizontalSlider(CRect(20, 50, 130, 62), &listener, 0, 20, 119, handle, nullptr, CPoint(0, 0), kRight);
    handle->forget();
    s->setOffsetHandle(CPoint(0, 1));
    s->setFreeClick(false);
    frame->addView(s);

    s->setValue(0.f);
    EXPECT_EQ(s->getHandleRect(), CRect(119, 51, 129, 61));
    s->setValue(1.f);
    EXPECT_EQ(s->getHandleRect(), CRect(20, 51, 30, 61));

    // Clicking the track away from the handle does nothing.
    CPoint track(100, 55);
    EXPECT_EQ(frame->onMouseDown(track, left()), kMouseEventNotHandled);
    EXPECT_EQ(s->getValue(), 1.f);
    EXPECT_TRUE(editor.gestures.empty());

    // Grabbing the handle moves it relative to the grab point: 33 pixels of
    // the 99 to the right is a third of the way down.
    drag(frame, CPoint(24, 55), CPoint(57, 80));
    EXPECT_NEAR(s->getValue(), 2.f / 3.f, 1e-5);
    EXPECT_EQ(editor.gestures.size(), 2u);
    drag(frame, CPoint(s->getHandleRect().left + 1, 55), CPoint(500, 55));
    EXPECT_EQ(s->getValue(), 0.f);

    // With free click the handle jumps to the pointer.
    s->setFreeClick(true);
    CPoint mid(74.5, 55);  // handle left edge 69.5 is half of the 99 pixels
    frame->onMouseDown(mid, left());
    frame->onMouseUp(mid, left());
    EXPECT_NEAR(s->getValue(), 0.5f, 1e-5);
}

TEST_F(FrameTest, ClicksGoToTheTopmostVisibleViewInsideItsMouseArea)
{
    CAnimKnob* lower = new CAnimKnob(CRect(0, 0, 100, 100), &listener, 1, 1, 100, nullptr);
    COnOffButton* upper = new COnOffButton(CRect(0, 0, 100, 100), &listener, 2, nullptr);
    upper->setMouseableArea(CRect(40, 40, 60, 60));
    frame->addView(lower);
    frame->addView(upper);
    EXPECT_EQ(frame->getViewAt(CPoint(50, 50)), upper);
    EXPECT_EQ(frame->getViewAt(CPoint(10, 10)), lower);
    upper->setVisible(false);
    EXPECT_EQ(frame->getViewAt(CPoint(50, 50)), lower);
    lower->setMouseableArea(CRect(0, 0, 1, 1));
    EXPECT_EQ(frame->getViewAt(CPoint(10, 10)), nullptr);
    CPoint p(10, 10);
    EXPECT_EQ(frame->onMouseDown(p, left()), kMouseEventNotHandled);
    EXPECT_TRUE(listener.values.empty());

    // Removing without forgetting hands the view back to the caller.
    upper->remember();
    EXPECT_TRUE(frame->removeView(upper, false));
    EXPECT_FALSE(frame->isChild(upper));
    EXPECT_EQ(upper->getNbReference(), 2);
    upper->forget();
    upper->forget();
}

TEST_F(FrameTest, SizeChangesAskTheEditorFirst)
{
    editor.allowResize = false;
    EXPECT_FALSE(frame->setSize(300, 100));
    EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 200, 200));
    editor.allowResize = true;
    EXPECT_TRUE(frame->setSize(300, 100));
    EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 300, 100));
    EXPECT_EQ(cairo_image_surface_get_width(frame->getImage()), 300);
    EXPECT_EQ(editor.resizeRequests, 2);
}

TEST_F(FrameTest, OffscreenMouseStateIsTheLastEventSeen)
{
    CPoint p(12, 34);
    frame->onMouseMoved(p, CButtonState(kShift));
    CPoint where;
    EXPECT_TRUE(frame->getCurrentMouseLocation(where));
    EXPECT_EQ(where, p);
    EXPECT_EQ(frame->getCurrentMouseButtons().state, kShift);
    EXPECT_FALSE(frame->isWindowed());
    EXPECT_EQ(frame->getWindowId(), 0u);
}

TEST_F(FrameTest, TextLabelDrawsItsTextOverATransparentBackground)
{
    CBitmap* bg = stripes(200, 200, 1);  // grey 5
    frame->setBackground(bg);
    bg->forget();
    CTextLabel* label = new CTextLabel(CRect(0, 100, 200, 115));
    label->setText("VERSION 1.5.2");
    label->setFont(kNormalFontSmaller);
    label->setBackColor(kTransparentCColor);
    label->setFrameColor(kTransparentCColor);
    frame->addView(label);
    redraw(frame);
    int bright = 0;
    for (int y = 100; y < 115; ++y)
        for (int x = 0; x < 200; ++x) bright += greyAt(frame, x, y) > 128;
    EXPECT_GT(bright, 20);
    EXPECT_EQ(greyAt(frame, 1, 101), 5);  // no frame line, no fill
    label->setVisible(false);
    redraw(frame);
    EXPECT_EQ(greyAt(frame, 100, 108), 5);
}

TEST_F(FrameTest, IdleRedrawsOnlyWhatChanged)
{
    CAnimKnob* knob = new CAnimKnob(CRect(0, 0, 10, 10), &listener, 1, 2, 10, nullptr);
    CBitmap* pic = stripes(10, 10, 2);
    knob->setBackground(pic);
    pic->forget();
    frame->addView(knob);
    frame->idle();
    EXPECT_EQ(greyAt(frame, 5, 5), 5);
    knob->setValue(1.f);
    EXPECT_EQ(greyAt(frame, 5, 5), 5);
    frame->idle();
    EXPECT_EQ(greyAt(frame, 5, 5), 15);
}
