// The language manager: registration, switching, and what a failed switch
// leaves behind.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "lang/LangError.h"
#include "lang/LanguageController.h"
#include "lang/LanguageManager.h"
#include "lang/ProgramLanguages.h"
#include "tests/lang/FakeWindow.h"

namespace tessor::lang::test {
namespace {

class Manager : public ::testing::Test {
protected:
    Manager() { RegisterProgramLanguages(manager); }

    // A module with one extra language file, registered as `id`.
    void AddLanguage(uint16_t id, std::u16string_view text) {
        extra.Add("LNG_TEST", Utf16File(text));
        manager.RegisterLanguage(&extra, u"LNG_TEST", id);
    }
    std::u16string Text(const char* name) const { return manager.GetLangConstant(name); }

    TLanguageManager manager{&ProgramModule()};
    TResourceModule extra;
};

TEST_F(Manager, RegisteredLanguages) {
    ASSERT_EQ(manager.LanguageCount(), 3);
    const std::pair<uint16_t, const char16_t*> expected[] = {{1033, u"English (United States)"},
                                                             {1031, u"German (Germany)"},
                                                             {1048, u"Romanian (Romania)"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(manager.LanguageIdAt(i), expected[i].first);
        EXPECT_EQ(manager.LanguageNameAt(i), expected[i].second);
    }
    EXPECT_THROW(manager.LanguageIdAt(3), ELangError);
    // The same id again replaces; another id without a known name shows its number.
    manager.RegisterLanguage(&extra, u"LNG_X", 1048);
    manager.RegisterLanguage(&extra, u"LNG_X", 1050);
    EXPECT_EQ(manager.LanguageCount(), 4);
    EXPECT_EQ(manager.LanguageIdAt(2), 1048);
    EXPECT_EQ(manager.LanguageNameAt(3), u"1050");
    EXPECT_EQ(manager.CurrentLanguage(), 1033);
}

TEST_F(Manager, SwitchingSetsTheCodePage) {
    manager.SelectLanguage(1031);
    EXPECT_EQ(Text("S_IDLE"), u"LEERLAUF");
    EXPECT_EQ(manager.CodePage(), 1252u);
    manager.SelectLanguage(1048);
    EXPECT_EQ(Text("S_IDLE"), u"IDLE");
    EXPECT_EQ(manager.CodePage(), 1250u);
    // An unregistered language is English.
    manager.SelectLanguage(2052);
    EXPECT_EQ(manager.CurrentLanguage(), 1033);
    EXPECT_EQ(manager.CodePage(), 1252u);
    EXPECT_EQ(Text("S_ERASING"), u"ERASING");
}

TEST_F(Manager, UnknownConstant) {
    try {
        manager.GetLangConstant("NO_SUCH_TEXT");
        ADD_FAILURE();
    } catch (const ELangError& e) {
        EXPECT_STREQ(e.what(), "Constant \"NO_SUCH_TEXT\" not found");
    }
    EXPECT_EQ(Text("device_not_ready"), u"Device not ready or no disk inserted")
        << "names compare without regard to case";
    TLanguageManager empty(nullptr);
    EXPECT_THROW(empty.GetLangConstant("S_IDLE"), ELangError);
}

// A constant the new language does not translate keeps the text it had.
TEST_F(Manager, MissingConstantKeepsThePreviousLanguage) {
    AddLanguage(1036, u"LANGID=1036\r\n[$CONSTANTS]\r\nS_WRITING=ÉCRITURE\r\nNOT_BUILT_IN=x\r\n");
    manager.SelectLanguage(1031);
    manager.SelectLanguage(1036);
    EXPECT_EQ(Text("S_WRITING"), u"ÉCRITURE");
    EXPECT_EQ(Text("S_IDLE"), u"LEERLAUF");
    EXPECT_THROW(manager.GetLangConstant("NOT_BUILT_IN"), ELangError);
}

// A file that fails half-way changes nothing: not the language, not one
// constant, not one caption, and the controllers hear nothing.
TEST_F(Manager, FailedSwitchLeavesEverythingAsItWas) {
    auto window = MakeMainWindow();
    TLanguageController controller(manager, *window);
    LoadMainWindowLangData(controller);
    controller.Loaded();
    int events = 0;
    controller.OnLanguageChanging = [&](TLanguageController&) { ++events; };
    manager.SelectLanguage(1031);
    ASSERT_EQ(events, 1);
    AddLanguage(1036,
                u"LANGID=1036\r\n[Form1]\r\n00000026=Graver\r\n[$CONSTANTS]\r\n"
                u"S_IDLE=REPOS\r\nOKWRITE=ok\r\n1ABC=bad\r\n");
    try {
        manager.SelectLanguage(1036);
        ADD_FAILURE() << "the bad file was accepted";
    } catch (const ELangError& e) {
        EXPECT_STREQ(e.what(),
                     "Loading translations failed.\r\nLine 6: Invalid constant name (\"1ABC\")");
    }
    EXPECT_EQ(manager.CurrentLanguage(), 1031);
    EXPECT_EQ(Text("S_IDLE"), u"LEERLAUF");
    EXPECT_EQ(Text("OKWRITE"), u">>> Schreiben erfolgreich");
    EXPECT_EQ((*window)["BurnButton"].Text(), u"Brennen");
    EXPECT_EQ(events, 1);

    // A registration whose resource does not exist fails the same way.
    manager.RegisterLanguage(&extra, u"LNG_NOWHERE", 1049);
    EXPECT_THROW(manager.SelectLanguage(1049), ELangError);
    EXPECT_EQ(manager.CurrentLanguage(), 1031);
    EXPECT_EQ(events, 1);
}

TEST_F(Manager, SelectingTheCurrentLanguageDoesNothing) {
    auto window = MakeMainWindow();
    TLanguageController controller(manager, *window);
    LoadMainWindowLangData(controller);
    controller.Loaded();
    int events = 0;
    controller.OnLanguageChanged = [&](TLanguageController&) { ++events; };
    manager.SelectLanguage(1033);
    EXPECT_EQ(events, 0);
    manager.SelectLanguage(1048);
    (*window)["BurnButton"].Put("Caption", u"changed by hand");
    manager.SelectLanguage(1048);
    EXPECT_EQ(events, 1);
    EXPECT_EQ((*window)["BurnButton"].Text(), u"changed by hand");
    SelectLanguageAt(manager, -1);
    EXPECT_EQ(manager.CurrentLanguage(), 1033) << "no entry chosen counts as the first";
}

// Handlers of a switch may read constants (the same thread already holds
// the read lock), and may close their window.
TEST_F(Manager, HandlersReadConstantsAndMayGo) {
    auto first = MakeMainWindow();
    auto second = MakeMainWindow();
    auto controller = std::make_unique<TLanguageController>(manager, *first);
    auto other = std::make_unique<TLanguageController>(manager, *second);
    LoadMainWindowLangData(*controller);
    LoadMainWindowLangData(*other);
    controller->Loaded();
    other->Loaded();
    std::u16string seen;
    controller->OnLanguageChanged = [&](TLanguageController&) {
        seen = manager.GetLangConstant("S_IDLE");
        other.reset();
    };
    manager.SelectLanguage(1031);
    EXPECT_EQ(seen, u"LEERLAUF");
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ((*second)["BurnButton"].Text(), u"burn") << "the closed window was not translated";
    controller->OnLanguageChanged = [&](TLanguageController&) { manager.SelectLanguage(1048); };
    EXPECT_THROW(manager.SelectLanguage(1033), ELangError) << "a switch inside a switch";
    controller->OnLanguageChanged = nullptr;
    manager.SelectLanguage(1048);
    EXPECT_EQ((*first)["BurnButton"].Text(), u"arde");
}

// Readers on other threads see each constant in one language or the other,
// never a text being replaced (the thread sanitizer run checks the locking).
TEST_F(Manager, ReadersWhileSwitching) {
    std::atomic<bool> stop{false};
    std::atomic<int> odd{0};
    auto reader = [&] {
        while (!stop) {
            std::u16string text = manager.GetLangConstant("S_IDLE");
            if (text != u"IDLE" && text != u"LEERLAUF")
                ++odd;
        }
    };
    std::thread a(reader), b(reader);
    for (int i = 0; i < 200; ++i)
        manager.SelectLanguage(i % 2 ? 1033 : 1031);
    stop = true;
    a.join();
    b.join();
    EXPECT_EQ(odd, 0);
}

}  // namespace
}  // namespace tessor::lang::test
