// The resources built into the program, read the way the program reads them
// and compared with the texts it must show, and with an independent reading
// of their sources in resources/lang.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/platform/Strings.h"
#include "lang/LangData.h"
#include "lang/LanguageController.h"
#include "lang/ProgramLanguages.h"
#include "tests/lang/FakeWindow.h"

namespace tessor::lang::test {
namespace {

struct TTexts {
    const char* name;
    const char16_t* english;
    const char16_t* german;
    const char16_t* romanian;
};

// The texts of the three languages, as the program must show them.
const TTexts kConstants[] = {
    {"ALL_LEFT_OUT", u"Nothing to write: none of the sources can be read.",
     u"Nichts zu schreiben: keine der Quellen kann gelesen werden.",
     u"Nimic de scris: niciuna dintre surse nu poate fi citită."},
    {"AnERROR", u"An error occured", u"Ein Fehler ist aufgetreten!", u"O eroare"},
    {"CDROM", u"CD_ROM/DVD", u"CD-ROM/DVD", u"CD_ROM/DVD"},
    {"DELERROR", u">>> An error occured while deleting the disk:",
     u">>>Während dem Löschen ist ein Fehler aufgetreten:",
     u">>> O eroare în timp ce ştergerea discului:"},
    {"DEVICE_CHANGEABEL", u"Removable Media", u"Wechselmedium", u"Media detaşabile"},
    {"DEVICE_NOT_EXISTS", u"Device doesn't exist", u"Laufwerk existiert nicht",
     u"Aparatul nu există"},
    {"DEVICE_NOT_READY", u"Device not ready or no disk inserted",
     u"Laufwerk nicht bereit oder keine Disk eingelegt",
     u"Disc de dispozitiv nu este gata sau nu introduc"},
    {"ERROR", u"ERROR", u"ERROR", u"ERROR"},
    {"FILE_TOO_LONG", u"The filename is too long. Should I rename it?",
     u"Der Dateiname ist zu lang. Soll dieser umbenannt werden?",
     u"Fişierului este prea lung. Ar trebui să redenumiţi-l?"},
    {"HARDDISK", u"HDD", u"Festplatte", u"HDD"},
    {"IDENTICAL_FILES", u"identical files,", u"identische Dateien,", u"fişiere identice,"},
    {"IFNOT_RENAME", u"If not the file will be excluded (not on disc or in image).",
     u"Wenn nicht wird diese Datei ausgenommen (Sie ist weder auf einer Disk noch in einem Image).",
     u"Dacă nu fişierul va fi exclusă (nu pe disc sau în imagine)."},
    {"INFORMATION", u"information", u"Information", u"informaţii"},
    {"INSERTED_DISK", u"Inserted medium(", u"Das eingelegte Medium(", u"Introdusa mediu ("},
    {"LEFT_OUT_QUESTION",
     u"%1 of the sources cannot be written (they are listed in the log). Write without them?",
     u"%1 der Quellen können nicht geschrieben werden (sie stehen im Protokoll). Ohne sie "
     u"schreiben?",
     u"%1 dintre surse nu pot fi scrise (sunt enumerate în jurnal). Scrieţi fără ele?"},
    {"MB1", u"MB /", u"MB /", u"MB /"},
    {"MB2", u"MB!", u"MB ein!", u"MB!"},
    {"MB_SAVED", u"MB saved", u"MB gespart", u"MB economisiţi"},
    {"NETWORK", u"Network", u"Netzwerk", u"reţea"},
    {"NOTHING_TO_WRITE", u"Nothing to write: the compilation is empty.",
     u"Nichts zu schreiben: die Zusammenstellung ist leer.",
     u"Nimic de scris: compilaţia este goală."},
    {"OKDELETE", u">>> Deletion successfull", u">>> Löschen erfolgreich",
     u">>> ştergerea de succes"},
    {"OKVERIFY", u">>> Verification successful", u">>> Prüfung erfolgreich",
     u">>> verificarea de succes"},
    {"OKWRITE", u">>> Writing successfull", u">>> Schreiben erfolgreich",
     u">>> scrierea de succes"},
    {"OTHER_DEVICE", u"Other device", u"Anderes Laufwerk", u"alt dispozitiv"},
    {"PREPEAR_DATA", u"Prepearing data", u"Vorbereiten der Daten", u"datele Prepearing"},
    {"QUESTION", u"Question", u"Frage", u"întrebare"},
    {"RAM_DISK", u"RAM disk", u"RAM Disk", u"RAM disc"},
    {"RENAME_TO", u"rename to", u"umbenennen zu", u"a redenumi"},
    {"START_DELETE", u"Start deletion of disk", u"Beginne das Löschen des Mediums",
     u"Start eliminarea de pe disc"},
    {"S_ABORTING", u"ABORTING", u"ABBRUCH", u"ABANDONEAZĂ"},
    {"S_BACKGROUND_FORMAT", u"BACKGROUND FORMAT", u"HINTERGRUND FORMATIERUNG", u"CONTEXT FORMAT"},
    {"S_BURN_ERROR_ABORTING", u"BURN ERROR: ABORTING", u"SCHREIBFEHLER: ABBRUCH",
     u"BURN EROARE: ABANDONEAZĂ"},
    {"S_CLOSING_DISC", u"CLOSING DISC", u"SCHLIEßEN DES MEDIUMS", u"INCHIDERE DISC"},
    {"S_CLOSING_TRACK", u"CLOSING TRACK", u"SCHLIEßEN DES TRACK", u"INCHIDERE TRACK"},
    {"S_ERASING", u"ERASING", u"LÖSCHEN", u"ŞTERGEREA"},
    {"S_GEN_SM_REF", u"GEN. SM. REF", u"GEN. SM. REF", u"GEN. SM. REF"},
    {"S_IDLE", u"IDLE", u"LEERLAUF", u"IDLE"},
    {"S_IMPORTING_SESSION", u"IMPORTING SESSION", u"IMPORTIERE SESSION", u"IMPORTATOR SESIUNEA"},
    {"S_PREPARING", u"PREPARING", u"VORBEREITUNG", u"PREGĂTIREA"},
    {"S_VERIFYING", u"VERIFYING", u"PRÜFUNG", u"VERIFICAREA"},
    {"S_WRITING", u"WRITING", u"SCHREIBEN", u"SCRIS"},
    {"UNDELETABLE", u"Disk undeletable", u"Medium nicht löschbar", u"disk undeletable"},
    {"UNKNOWN", u"unknown", u"unbekannt", u"necunoscut"},
    {"UNKNOWN_STATUS", u"Unknown status", u"Unbekannter Status", u"Necunoscut statutul"},
    {"VERIFYERROR", u">>> Verification failed:", u">>> Prüfung fehlgeschlagen:",
     u">>> Verificarea a eşuat:"},
    {"VERIFYWRITTEN", u"verify written data", u"Geschriebenes prüfen", u"verificare date"},
    {"WANTUPDATE", u"A newer version off Tessor is available. Would you like to download it?",
     u"Eine neuere Version von Tessor ist verfügbar. Wollen Sie diese herunterladen?",
     u"O versiune mai nouă de pe Tessor este disponibil. Doriţi să-l descărcaţi?"},
    {"WRITEERROR", u">>> An error occurde while writing on disk/image:",
     u">>> Währen des Schreibens auf das Medium ist ein Fehler aufgetreten:",
     u">>> O occurde eroare în timp ce scris pe disc / imagine:"},
    {"WRITE_DATA", u"Writing data", u"Schreibe Daten", u"scrierea de date"},
    {"ZU_KLEIN", u"MB) too small. Please insert a disk with",
     u"MB) ist zu klein. Bitte legen Sie ein Medium mit",
     u"MB) prea mic. Vă rugăm să introduceţi un disc cu"},
};
const TTexts kCaptions[] = {
    {"Label2", u"used cache", u"Cache Nutzung", u"utilizat cache"},
    {"Label3", u"device buffer", u"Geräte Buffer", u"dispozitiv tampon"},
    {"BurnButton", u"burn", u"Brennen", u"arde"},
    {"Button4", u"eject", u"Eject", u"evacua"},
    {"Button5", u"load", u"Laden", u"încărca"},
    {"Button6", u"cancel", u"Abbrechen", u"anula"},
    {"create_iso", u"create_iso", u"Erst. ISO", u"a crea iso"},
    {"Button1", u"burn iso", u"Brenne ISO", u"arde iso"},
    {"discsizeCheckBox", u"proof discsize", u"CDGröße prüfen", u"dovada disc dimensiune"},
    {"delete", u"delete", u"löschen", u"şterge"},
    {"dedupeCheckBox", u"identical files once", u"Gleiche Dateien einmal",
     u"Fişiere identice o dată"},
    {"delall", u"delete all", u"alle löschen", u"ştergeţi toate"},
    {"rename", u"rename", u"umbenennen", u"redenumiţi"},
    {"MainTabSheet", u"Tessor", u"Tessor", u"Tessor"},
};

const char16_t* TextOf(const TTexts& t, uint16_t language) {
    return language == 1031 ? t.german : language == 1048 ? t.romanian : t.english;
}

std::span<const uint8_t> Resource(std::u16string_view name) {
    auto bytes = ProgramModule().Find(name);
    EXPECT_TRUE(bytes.has_value()) << platform::ToSystem(name);
    return bytes ? *bytes : std::span<const uint8_t>();
}

std::string SourceFile(const std::string& name) {
    std::ifstream in(std::string(TESSOR_SOURCE_DIR) + "/resources/lang/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// German, Romanian, then English again: every constant and caption shows
// the text of the table, through the program's own manager and resources.
TEST(BuiltResources, EveryTextInEveryLanguage) {
    TLanguageManager manager(&ProgramModule());
    RegisterProgramLanguages(manager);
    auto window = MakeMainWindow();
    TLanguageController controller(manager, *window);
    LoadMainWindowLangData(controller);
    controller.Loaded();
    for (uint16_t language : {1033, 1031, 1048, 1033}) {
        manager.SelectLanguage(language);
        for (const TTexts& t : kConstants)
            EXPECT_EQ(manager.GetLangConstant(t.name), TextOf(t, language))
                << t.name << " in " << language;
        for (const TTexts& t : kCaptions)
            EXPECT_EQ((*window)[t.name].Text(), TextOf(t, language))
                << t.name << " in " << language;
    }
    // Each file itself carries all of them, not only those that differ.
    for (auto [resource, language] : {std::pair{u"LNG_GERMAN", 1031}, {u"LNG_ROMANIA", 1048}}) {
        TLangTranslation file = ParseLanguageFile(Resource(resource));
        EXPECT_EQ(file.Constants.Count(), std::size(kConstants));
        for (const TTexts& t : kConstants) {
            const TLangConstant* c = file.Constants.Find(t.name);
            ASSERT_NE(c, nullptr) << t.name;
            EXPECT_EQ(c->Value, TextOf(t, static_cast<uint16_t>(language))) << t.name;
        }
        ASSERT_EQ(file.Sections.size(), 1u);
        EXPECT_EQ(file.Sections[0].Name, u"Form1");
        EXPECT_EQ(file.Sections[0].Count(), std::size(kCaptions));
    }
}

// XELANG_CONSTS byte for byte against constants.txt, encoded here by hand.
TEST(BuiltResources, ConstantsStreamMatchesItsSource) {
    std::vector<uint8_t> expected = {2, 1, 0, 0, 0, 0};
    std::istringstream lines(SourceFile("constants.txt"));
    std::string line;
    uint32_t count = 0;
    auto put16 = [&](size_t v) {
        expected.push_back(static_cast<uint8_t>(v));
        expected.push_back(static_cast<uint8_t>(v >> 8));
    };
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        std::string name = line.substr(0, line.find('='));
        std::u16string text = platform::FromSystem(line.substr(line.find('=') + 1));
        put16(name.size());
        expected.insert(expected.end(), name.begin(), name.end());
        put16(text.size());
        for (char16_t c : text)
            put16(c);
        ++count;
    }
    expected[2] = static_cast<uint8_t>(count);
    EXPECT_EQ(count, 50u);
    std::span<const uint8_t> built = Resource(u"XELANG_CONSTS");
    EXPECT_EQ(std::vector<uint8_t>(built.begin(), built.end()), expected);
}

// The language files: the UTF-8 source as UTF-16LE with the mark and CR LF,
// with the header parameters each file carries.
TEST(BuiltResources, LanguageFilesMatchTheirSources) {
    struct TCase {
        const char16_t* resource;
        const char* source;
        std::vector<std::u16string> params;
    } cases[] = {
        {u"LNG_GERMAN",
         "german.lng",
         {u"TargetApplication", u"Author", u"SourceLANGID=1033", u"LANGID=1031", u"Generator",
          u"LastModified=2012-03-16 10:30:34"}},
        {u"LNG_ROMANIA",
         "romania.lng",
         {u"Author", u"SourceLANGID=1033", u"LANGID=1048", u"Generator", u"LastModified"}},
    };
    for (const TCase& c : cases) {
        std::span<const uint8_t> built = Resource(c.resource);
        ASSERT_GE(built.size(), 2u);
        EXPECT_EQ(built[0], 0xFF);
        EXPECT_EQ(built[1], 0xFE);
        std::u16string text;
        for (size_t i = 2; i + 1 < built.size(); i += 2)
            text.push_back(static_cast<char16_t>(built[i] | built[i + 1] << 8));
        std::u16string source = platform::FromSystem(SourceFile(c.source));
        std::u16string crlf;
        for (char16_t ch : source)
            crlf += ch == u'\n' ? std::u16string(u"\r\n") : std::u16string(1, ch);
        EXPECT_EQ(text, crlf) << c.source;

        TLangTranslation file = ParseLanguageFile(built);
        ASSERT_EQ(file.Params.size(), c.params.size()) << c.source;
        for (size_t i = 0; i < c.params.size(); ++i) {
            std::u16string both = file.Params[i].Name + u"=" + file.Params[i].Value;
            EXPECT_EQ(both.rfind(c.params[i], 0), 0u) << platform::ToSystem(both);
        }
    }
}

// The main window's LangData: root Form1 without properties, one child per
// component, the 13 translatable captions; and its IgnoreList.
TEST(BuiltResources, MainWindowLangData) {
    TLangCompEntry root = ReadLangData(Resource(u"TFORM1_LANGDATA"));
    EXPECT_EQ(root.Name, "Form1");
    EXPECT_FALSE(root.Props);
    ASSERT_TRUE(root.Children);
    EXPECT_EQ(root.Children->size(), 39u);
    const std::pair<int, const char*> ids[] = {
        {24, "Label2"},           {25, "Label3"},        {26, "BurnButton"}, {29, "Button4"},
        {30, "Button5"},          {31, "Button6"},       {32, "create_iso"}, {33, "Button1"},
        {34, "discsizeCheckBox"}, {35, "delete"},        {36, "delall"},     {37, "rename"},
        {38, "MainTabSheet"},     {39, "dedupeCheckBox"}};
    size_t withProps = 0;
    for (const TLangCompEntry& child : *root.Children) {
        EXPECT_FALSE(child.Children) << child.Name;
        if (!child.Props)
            continue;
        ++withProps;
        ASSERT_EQ(child.Props->size(), 1u) << child.Name;
        EXPECT_EQ(child.Props->front().Path, "Caption");
        auto it = std::find_if(std::begin(ids), std::end(ids),
                               [&](auto& p) { return p.first == child.Props->front().ID; });
        ASSERT_NE(it, std::end(ids)) << child.Name;
        EXPECT_EQ(child.Name, it->second);
    }
    EXPECT_EQ(withProps, 14u);
    EXPECT_EQ(ReadLangStrings(Resource(u"TFORM1_IGNORELIST")),
              (std::vector<std::string>{
                  ".Caption", "Burner.VolumeID", "Button2.Caption", "Button3.Caption",
                  "cbLanguage.Text", "ComboBox1.Text", "Label1.Caption", "OpenDialog.DefaultExt",
                  "OpenDialog.Filter", "Save_ISO_Dialog.DefaultExt", "Save_ISO_Dialog.Filter",
                  "ZIPPER.Language", "ZIPPER.RootDir", "ZIPPER.SFXPath"}));
}

}  // namespace
}  // namespace tessor::lang::test
