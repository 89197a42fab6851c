// A host automating from another thread while the window idles and draws:
// the controls follow at the next idle and nothing races.
#include "EditorHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace VSTGUI;

TEST(EditorThreads, AutomationFromAnotherThreadReachesTheControlsAtIdle)
{
    AEffGUIEditor::setBundleLocationOverride(GRAVEL_TEST_BUNDLE_DIR);
    EditorHost host;
    AEffect* effect = EditorHost::load();
    ASSERT_EQ(EditorHost::dispatch(effect, effEditOpen), 1);
    GRV_GUI* editor = EditorHost::editorOf(effect);

    std::atomic<bool> done{false};
    std::thread automation([&] {
        for (int i = 0; i <= 2000; ++i) {
            effect->setParameter(effect, 2, float(i % 100) / 100.f);
            effect->setParameter(effect, 10, float(i % 3) / 2.f);
        }
        effect->setParameter(effect, 2, 0.25f);
        effect->setParameter(effect, 10, 1.f);
        done = true;
    });
    while (!done) {
        EditorHost::dispatch(effect, effEditIdle);
        editor->draw(nullptr);
    }
    automation.join();

    // The last values arrive with the next idle.
    EditorHost::dispatch(effect, effEditIdle);
    EXPECT_FLOAT_EQ(editor->getControl(2)->getValue(), 0.25f);
    EXPECT_FLOAT_EQ(editor->getControl(10)->getValue(), 1.f);

    EditorHost::dispatch(effect, effEditClose);
    // Closed: automation from anywhere is ignored.
    std::thread([&] { effect->setParameter(effect, 2, 0.5f); }).join();
    EditorHost::unload(effect);
}

// Hosts close and reopen the editor while automation keeps coming, from the
// audio thread or a program change elsewhere: the editor's hand-over of its
// window thread must not race with those calls.
TEST(EditorThreads, ReopeningWhileAutomating)
{
    AEffGUIEditor::setBundleLocationOverride(GRAVEL_TEST_BUNDLE_DIR);
    EditorHost host;
    AEffect* effect = EditorHost::load();

    std::atomic<bool> done{false};
    std::thread automation([&] {
        for (int i = 0; !done; ++i) {
            effect->setParameter(effect, 1, float(i % 100) / 100.f);
            effect->dispatcher(effect, effSetProgram, 0, 0, nullptr, 0.f);
        }
    });
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(EditorHost::dispatch(effect, effEditOpen), 1);
        EditorHost::dispatch(effect, effEditIdle);
        EditorHost::dispatch(effect, effEditClose);
    }
    done = true;
    automation.join();

    // Whatever arrived last is what the reopened editor shows.
    effect->setParameter(effect, 1, 0.75f);
    ASSERT_EQ(EditorHost::dispatch(effect, effEditOpen), 1);
    EXPECT_FLOAT_EQ(EditorHost::editorOf(effect)->getControl(1)->getValue(), 0.75f);
    EditorHost::dispatch(effect, effEditClose);
    EditorHost::unload(effect);
}
