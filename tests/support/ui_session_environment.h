// The UI session of a whole test program, on Qt's offscreen platform unless the environment
// names another. It ends after the last test, before static destruction, as a program's
// UiSession ends before main returns. One line registers it (gtest owns the object):
//
//     const auto* const g_ui = ::testing::AddGlobalTestEnvironment(new UiSessionEnvironment);
#pragma once

#include <gtest/gtest.h>

class UiSessionEnvironment : public ::testing::Environment {
public:
    enum class Skin {
        Embedded, // the program's skin and icon are registered, the paint manager knows the module
        None, // for tests that register resources of their own
    };
    enum class Start {
        BeforeTheTests,
        OnFirstUse, // the tests call StartTestUiSession themselves, where they need the session
    };

    explicit UiSessionEnvironment(Skin skin = Skin::Embedded, Start start = Start::BeforeTheTests);

    void SetUp() override;
    void TearDown() override;

private:
    Skin m_skin;
    Start m_start;
};

// Brings the session up (a second call does nothing), with the embedded skin when asked.
void StartTestUiSession(UiSessionEnvironment::Skin skin = UiSessionEnvironment::Skin::Embedded);
