// libFuzzer target over what the language package reads from outside: the
// language files, the constants stream and LangData. Built only with clang
// (-DTESSOR_FUZZ=ON); run e.g. `lang_fuzzer -max_total_time=180 corpus/`.
// The first byte chooses the reader, the rest is its input; LANG_FUZZ_READER=
// file, constants or langdata keeps one reader whatever the first byte. Besides not
// crashing, each reader keeps its promise: a failed switch changes nothing,
// and LangData read back from what it writes stays the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lang/LangConstants.h"
#include "lang/LangData.h"
#include "lang/LangError.h"
#include "lang/LangFile.h"
#include "lang/LanguageManager.h"

using namespace tessor::lang;

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

// A switch to a language whose file is the input: it works or it leaves
// the language and the constants as they were.
void SwitchTo(std::span<const uint8_t> data) {
    static const std::vector<TConstantSource> kBuiltIn = {
        {"S_IDLE", u"IDLE"}, {"OKWRITE", u">>> Writing successfull"}, {"MB1", u"MB /"}};
    TResourceModule module;
    module.Add("XELANG_CONSTS", WriteConstantsStream(kBuiltIn));
    module.Add("LNG_INPUT", std::vector<uint8_t>(data.begin(), data.end()));
    TLanguageManager manager(&module);
    manager.RegisterLanguage(&module, u"LNG_INPUT", 1031);
    try {
        manager.SelectLanguage(1031);
        Check(manager.CurrentLanguage() == 1031);
    } catch (const ELangError&) {
        Check(manager.CurrentLanguage() == 1033);
        for (const TConstantSource& c : kBuiltIn)
            Check(manager.GetLangConstant(c.Name) == c.Text);
    }
}

void ReadConstants(std::span<const uint8_t> data) {
    TLangConstants constants;
    try {
        ReadConstantsStream(data, constants);
    } catch (const ELangError&) {
        Check(constants.Count() == 0);
    }
}

void ReadData(std::span<const uint8_t> data) {
    try {
        std::vector<uint8_t> once = WriteLangData(ReadLangData(data));
        Check(WriteLangData(ReadLangData(once)) == once);
    } catch (const ELangError&) {
    }
    try {
        ReadLangStrings(data);
    } catch (const ELangError&) {
    }
}

int g_reader = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* r = std::getenv("LANG_FUZZ_READER")) {
        g_reader = std::strcmp(r, "file") == 0        ? 0
                   : std::strcmp(r, "constants") == 0 ? 1
                   : std::strcmp(r, "langdata") == 0  ? 2
                                                      : -1;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0)
        return 0;
    std::span<const uint8_t> data(bytes + 1, size - 1);
    switch (g_reader >= 0 ? g_reader : bytes[0] % 3) {
        case 0:
            SwitchTo(data);
            break;
        case 1:
            ReadConstants(data);
            break;
        default:
            ReadData(data);
            break;
    }
    return 0;
}
