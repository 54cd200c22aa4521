// The language controller over a window shaped like the main window.
#include <gtest/gtest.h>

#include "lang/LangError.h"
#include "lang/LanguageController.h"
#include "lang/ProgramLanguages.h"
#include "tests/lang/FakeWindow.h"

namespace tessor::lang::test {
namespace {

class Controller : public ::testing::Test {
protected:
    Controller() {
        RegisterProgramLanguages(manager);
        LoadMainWindowLangData(controller);
    }
    void AddLanguage(uint16_t id, std::u16string_view text) {
        extra.Add("LNG_TEST", Utf16File(text));
        manager.RegisterLanguage(&extra, u"LNG_TEST", id);
    }
    std::u16string Caption(std::string_view name) { return (*window)[name].Text(); }

    TLanguageManager manager{&ProgramModule()};
    TResourceModule extra;
    std::unique_ptr<TFakeWindow> window = MakeMainWindow();
    TLanguageController controller{manager, *window};
};

TEST_F(Controller, BindingDropsComponentsThatDoNotExist) {
    controller.Loaded();
    const TLangCompEntry& root = controller.LangData();
    EXPECT_EQ(root.Component, window.get());
    ASSERT_TRUE(root.Children);
    EXPECT_EQ(root.Children->size(), 35u) << "Button2, Button3, Label1 and ZIPPER are gone";
    for (const TLangCompEntry& child : *root.Children)
        EXPECT_NE(child.Component, nullptr) << child.Name;
}

TEST_F(Controller, WindowCaptionIsNeverTranslated) {
    controller.Loaded();
    AddLanguage(1036, u"[Form1]\r\n1=Titre\r\n38=Onglet\r\n");
    for (uint16_t id : {1031, 1048, 1036, 1033}) {
        manager.SelectLanguage(id);
        EXPECT_EQ(window->Self().Text(), u"DO-Rodedir") << id;
    }
    EXPECT_EQ(Caption("MainTabSheet"), u"Tessor");
    EXPECT_EQ((*window)["cbLanguage"].Text("Text"), u"English (United States)");
    EXPECT_EQ((*window)["Burner"].Text("VolumeID"), u"Quillbright");
}

// Label2 has ID 24; a language without that line shows the built-in text,
// whatever was shown before.
TEST_F(Controller, MissingIdShowsTheBuiltInText) {
    controller.Loaded();
    manager.SelectLanguage(1031);
    EXPECT_EQ(Caption("Label2"), u"Cache Nutzung");
    AddLanguage(1036, u"[form1]\r\n00000026=Graver\r\n00000099=no such entry\r\n");
    manager.SelectLanguage(1036);
    EXPECT_EQ(Caption("Label2"), u"used cache");
    EXPECT_EQ(Caption("BurnButton"), u"Graver");
    EXPECT_EQ(Caption("Label3"), u"device buffer");
}

// A caption of digits and punctuation is not captured: back in English it
// is empty. Without the option it is captured like any other.
TEST_F(Controller, NonAlphaCaptions) {
    struct TCase {
        uint8_t options;
        const char16_t* builtIn;
        const char16_t* afterEnglish;
    } cases[] = {
        {kAllLangOptions, u"12.5 / 3", u""},
        {kAllLangOptions, u"7 \u00A1", u"7 \u00A1"},  // code 161 counts as a letter
        {kAllLangOptions, u"", u""},
        {IgnoreEmptyProps, u"12.5 / 3", u"12.5 / 3"},
        {0, u"", u""},
    };
    for (const TCase& c : cases) {
        auto w = MakeMainWindow();
        (*w)["Label2"].Put("Caption", c.builtIn);
        TLanguageController lc(manager, *w);
        LoadMainWindowLangData(lc);
        lc.Options = c.options;
        lc.Loaded();
        manager.SelectLanguage(1031);
        EXPECT_EQ((*w)["Label2"].Text(), u"Cache Nutzung");
        manager.SelectLanguage(1033);
        EXPECT_EQ((*w)["Label2"].Text(), c.afterEnglish) << int(c.options);
    }
}

TEST(LangMask, Matches) {
    struct TCase {
        const char* path;
        const char* mask;
        bool match;
    } cases[] = {
        {".Caption", ".Caption", true},
        {".caption", ".CAPTION", true},
        {"Label1.Caption", ".Caption", false},
        {"Burner.VolumeID", "*.VolumeID", true},
        {"OpenDialog.Filter", "*Dialog.*", true},
        {"Button2.Caption", "Button?.Caption", true},
        {"Button12.Caption", "Button?.Caption", false},
        {"Button3.Caption", "Button[23].*", true},
        {"Button4.Caption", "Button[23].*", false},
        {"ButtonB.Caption", "Button[a-c].*", true},
        {"ButtonB.Caption", "Button[!a-c].*", false},
        {"Button[.Caption", "Button[.Caption", true},
        {"Memo1.Lines", "*", true},
        {"", "*", true},
        {"a", "", false},
        {"Items[2].Text", "Items[[]2].Text", true},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(MatchesLangMask(c.path, c.mask), c.match) << c.path << " ~ " << c.mask;
}

// What is captured: stored properties unless ignored, unstored ones only on
// the StoreList, fonts only without IgnoreFontProps.
TEST_F(Controller, CaptureFollowsTheListsAndOptions) {
    TFakeWindow w;
    w.Make("Edit1")
        .Add("Text", u"stored")
        .Add("Hint", u"not stored", TLangPropKind::Wide, false)
        .Add("Font.Name", u"Tahoma", TLangPropKind::Wide, true, true)
        .Add("Lines", u"one\r\ntwo", TLangPropKind::Strings)
        .AddAnsi("DefaultExt", "iso");
    TLangCompEntry root{"Form1", nullptr, std::nullopt, std::nullopt};
    TLangCompEntry& edit = root.Children.emplace().emplace_back(
        TLangCompEntry{"EDIT1", nullptr, std::nullopt, std::nullopt});
    int id = 1;
    for (const char* path : {"Text", "Hint", "Font.Name", "Lines", "DefaultExt"})
        edit.AddProp({id++, path, {}});
    struct TCase {
        std::vector<std::string> ignore, store;
        uint8_t options;
        std::vector<const char16_t*> captured;  // Text, Hint, Font.Name, Lines, DefaultExt
    } cases[] = {
        {{}, {}, kAllLangOptions, {u"stored", u"", u"", u"one\r\ntwo", u"iso"}},
        {{"*.Text"},
         {"Edit?.Hint"},
         kAllLangOptions,
         {u"", u"not stored", u"", u"one\r\ntwo", u"iso"}},
        {{"edit1.lines", "*.DefaultExt"},
         {},
         IgnoreEmptyProps,
         {u"stored", u"", u"Tahoma", u"", u""}},
    };
    for (const TCase& c : cases) {
        TLanguageController lc(manager, w);
        lc.SetLangData(root);
        lc.SetIgnoreList(c.ignore);
        lc.SetStoreList(c.store);
        lc.Options = c.options;
        lc.Loaded();
        const TLangCompEntry& e = lc.LangData().Children->front();
        const char* paths[] = {"Text", "Hint", "Font.Name", "Lines", "DefaultExt"};
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ(e.FindProp(paths[i])->Value, c.captured[i]) << paths[i];
    }
}

// ANSI properties get the text in the code page of the language.
TEST_F(Controller, AnsiPropertiesUseTheLanguageCodePage) {
    (*window)["Label2"].AddAnsi("Hint", "used");
    TLangCompEntry data = controller.LangData();
    for (TLangCompEntry& c : *data.Children) {
        if (c.Name == "Label2")
            c.AddProp({90, "Hint", {}});
    }
    controller.SetLangData(data);
    controller.Loaded();
    AddLanguage(1048, u"[Form1]\r\n90=şterge ţ\r\n24=utilizat\r\n");
    manager.SelectLanguage(1048);
    EXPECT_EQ((*window)["Label2"].Ansi("Hint"), "\xBAterge \xFE");
    EXPECT_EQ(Caption("Label2"), u"utilizat");
    manager.SelectLanguage(1033);
    EXPECT_EQ((*window)["Label2"].Ansi("Hint"), "used");
}

TEST_F(Controller, EventsAlsoWhenAStepFails) {
    controller.Loaded();
    std::vector<std::string> events;
    controller.OnLanguageChanging = [&](TLanguageController&) { events.push_back("changing"); };
    controller.OnLanguageChanged = [&](TLanguageController&) { events.push_back("changed"); };
    (*window)["Button6"].FailSets(true);
    EXPECT_THROW(manager.SelectLanguage(1031), std::runtime_error);
    EXPECT_EQ(events, (std::vector<std::string>{"changing", "changed"}));
}

// A component that goes loses its entry; the others are still translated.
TEST_F(Controller, RemovedComponentIsDropped) {
    controller.Loaded();
    TLangComponent* label = window->FindComponent("Label2");
    controller.ComponentRemoved(label);
    window->Remove("Label2");
    manager.SelectLanguage(1048);
    EXPECT_EQ(Caption("Label3"), u"dispozitiv tampon");
    for (const TLangCompEntry& c : *controller.LangData().Children)
        EXPECT_NE(c.Name, "Label2");
}

// A window loaded while German is current shows German at once.
TEST_F(Controller, LateWindowTakesTheCurrentLanguage) {
    manager.SelectLanguage(1031);
    auto late = MakeMainWindow();
    TLanguageController lc(manager, *late);
    LoadMainWindowLangData(lc);
    lc.Loaded();
    EXPECT_EQ((*late)["BurnButton"].Text(), u"Brennen");
    manager.SelectLanguage(1033);
    EXPECT_EQ((*late)["BurnButton"].Text(), u"burn");
}

}  // namespace
}  // namespace tessor::lang::test
