// tessor-langgen: turns the readable language sources of resources/lang
// into the program's resource table, a C++ file of byte arrays.
//
//   tessor-langgen OUT.cpp [--constants NAME FILE] [--language NAME FILE]
//                          [--langdata PREFIX FILE] ...
//
// --constants  NAME=text lines, one per constant, in the order to store
//              them: the constants stream (version 2, flag 1).
// --language   a language file written as UTF-8: stored as UTF-16LE with
//              the byte-order mark and CR LF line ends, after it has been
//              read back with the program's own parser.
// --langdata   a window's translatable properties (see Form1.langdata):
//              PREFIX_LANGDATA (the LangData stream), PREFIX_IGNORELIST and
//              PREFIX_STORELIST (string lists).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/platform/Strings.h"
#include "lang/LangConstants.h"
#include "lang/LangData.h"
#include "lang/LangError.h"
#include "lang/LangFile.h"

namespace {

using namespace tessor;
using namespace tessor::lang;

struct TResource {
    std::string Name;
    std::vector<uint8_t> Bytes;
};

[[noreturn]] void Fail(const std::string& file, size_t line, const std::string& what) {
    throw std::runtime_error(file + ":" + std::to_string(line) + ": " + what);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(path + ": cannot be read");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// UTF-8 lines without their ends; invalid UTF-8 is refused.
std::vector<std::u16string> ReadLines(const std::string& path) {
    std::string text = ReadFile(path);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    std::vector<std::u16string> lines;
    std::istringstream in(text);
    std::string line;
    size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::u16string wide = platform::FromSystem(line);
        if (wide.find(u'\uFFFD') != std::u16string::npos)
            Fail(path, number, "not valid UTF-8");
        lines.push_back(std::move(wide));
    }
    return lines;
}

bool Skipped(const std::u16string& line) {
    std::u16string_view t = TrimLangText(line);
    return t.empty() || t.front() == u';';
}

TResource Constants(const std::string& name, const std::string& path) {
    std::vector<TConstantSource> entries;
    std::vector<std::u16string> lines = ReadLines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (Skipped(lines[i]))
            continue;
        size_t eq = lines[i].find(u'=');
        if (eq == std::u16string::npos || !IsConstantName(lines[i].substr(0, eq)))
            Fail(path, i + 1, "expected NAME=text");
        entries.push_back({platform::ToSystem(lines[i].substr(0, eq)), lines[i].substr(eq + 1)});
    }
    // The manager refuses repeated names; so does the build.
    TLangConstants check;
    ReadConstantsStream(WriteConstantsStream(entries), check);
    return {name, WriteConstantsStream(entries)};
}

TResource Language(const std::string& name, const std::string& path) {
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    for (const std::u16string& line : ReadLines(path)) {
        for (char16_t c : line + u"\r\n") {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
    try {
        ParseLanguageFile(bytes);
    } catch (const ELangError& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
    return {name, bytes};
}

// window NAME / component NAME / property ID PATH / ignore MASK / store MASK,
// each line possibly ending in a ';' comment.
std::vector<TResource> LangData(const std::string& prefix, const std::string& path) {
    TLangCompEntry root;
    bool haveRoot = false;
    std::vector<std::string> ignore, store;
    std::vector<std::u16string> lines = ReadLines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (Skipped(lines[i]))
            continue;
        std::u16string_view text = lines[i];
        text = TrimLangText(text.substr(0, text.find(u';')));  // a comment may end a line
        std::istringstream words(platform::ToSystem(text));
        std::string keyword, a, b;
        words >> keyword >> a;
        if (a.empty())
            Fail(path, i + 1, "a word is missing");
        if (keyword == "window") {
            root.Name = a;
            haveRoot = true;
        } else if (!haveRoot) {
            Fail(path, i + 1, "the window line comes first");
        } else if (keyword == "component") {
            if (!root.Children)
                root.Children.emplace();
            root.Children->push_back({a, nullptr, std::nullopt, std::nullopt});
        } else if (keyword == "property") {
            words >> b;
            int id = std::atoi(a.c_str());
            if (id <= 0 || b.empty())
                Fail(path, i + 1, "expected property ID PATH");
            TLangCompEntry& owner =
                root.Children && !root.Children->empty() ? root.Children->back() : root;
            if (!owner.AddProp({id, b, {}}))
                Fail(path, i + 1, "property path repeated");
        } else if (keyword == "ignore") {
            ignore.push_back(a);
        } else if (keyword == "store") {
            store.push_back(a);
        } else {
            Fail(path, i + 1, "unknown keyword " + keyword);
        }
    }
    if (!haveRoot)
        Fail(path, 0, "no window line");
    return {{prefix + "_LANGDATA", WriteLangData(root)},
            {prefix + "_IGNORELIST", WriteLangStrings(ignore)},
            {prefix + "_STORELIST", WriteLangStrings(store)}};
}

void WriteTable(const std::string& path, const std::vector<TResource>& resources) {
    std::ostringstream out;
    out << "// Generated by tessor-langgen from resources/lang at build time.\n"
           "#include \"lang/LangResources.h\"\n\n"
           "namespace tessor::lang::generated {\n\n"
           "extern const TResourceEntry kProgramResources[];\n"
           "extern const size_t kProgramResourceCount;\n\nnamespace {\n";
    for (size_t r = 0; r < resources.size(); ++r) {
        out << "const uint8_t kResource" << r << "[] = {";
        const std::vector<uint8_t>& bytes = resources[r].Bytes;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i % 16 == 0)
                out << "\n   ";
            out << ' ' << static_cast<unsigned>(bytes[i]) << ',';
        }
        out << "\n};\n";
    }
    out << "}  // namespace\n\nconst TResourceEntry kProgramResources[] = {\n";
    for (size_t r = 0; r < resources.size(); ++r) {
        out << "    {\"" << resources[r].Name << "\", kResource" << r << ", sizeof(kResource" << r
            << ")},\n";
    }
    out << "};\nconst size_t kProgramResourceCount = " << resources.size()
        << ";\n\n}  // namespace tessor::lang::generated\n";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << out.str();
    if (!file)
        throw std::runtime_error(path + ": cannot be written");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc < 2 || (argc - 2) % 3 != 0)
            throw std::runtime_error(
                "usage: tessor-langgen OUT.cpp [--constants|--language|--langdata NAME FILE]...");
        std::vector<TResource> resources;
        for (int i = 2; i < argc; i += 3) {
            std::string kind = argv[i], name = argv[i + 1], file = argv[i + 2];
            if (kind == "--constants") {
                resources.push_back(Constants(name, file));
            } else if (kind == "--language") {
                resources.push_back(Language(name, file));
            } else if (kind == "--langdata") {
                for (TResource& r : LangData(name, file))
                    resources.push_back(std::move(r));
            } else {
                throw std::runtime_error("unknown kind " + kind);
            }
        }
        WriteTable(argv[1], resources);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessor-langgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
