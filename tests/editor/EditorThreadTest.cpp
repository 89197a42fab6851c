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
