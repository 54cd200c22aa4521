#include "lang/LangData.h"

#include <algorithm>
#include <utility>

#include "lang/LangError.h"
#include "lang/LangResources.h"
#include "lang/LangStream.h"

namespace tessor::lang {

namespace {

// The smallest entry: name length and the two flags.
constexpr size_t kMinEntryBytes = 4;
// The smallest property: ID and path length.
constexpr size_t kMinPropBytes = 6;

TLangCompEntry ReadEntry(TLangReader& reader, int depth) {
    if (depth > kMaxLangDataDepth)
        throw ELangError("LangData nested too deeply");
    TLangCompEntry entry;
    entry.Name = reader.AnsiString();
    if (reader.U8() != 0) {
        uint32_t count = reader.U32();
        reader.ExpectItems(count, kMinPropBytes);
        entry.Props.emplace();
        for (uint32_t i = 0; i < count; ++i) {
            TLangPropEntry prop;
            prop.ID = static_cast<int32_t>(reader.U32());
            prop.Path = reader.AnsiString();
            entry.AddProp(std::move(prop));
        }
    }
    if (reader.U8() != 0) {
        uint32_t count = reader.U32();
        reader.ExpectItems(count, kMinEntryBytes);
        entry.Children.emplace();
        entry.Children->reserve(count);
        for (uint32_t i = 0; i < count; ++i)
            entry.Children->push_back(ReadEntry(reader, depth + 1));
    }
    return entry;
}

void WriteEntry(TLangWriter& writer, const TLangCompEntry& entry) {
    writer.AnsiString(entry.Name);
    writer.U8(entry.Props ? 1 : 0);
    if (entry.Props) {
        writer.U32(static_cast<uint32_t>(entry.Props->size()));
        for (const TLangPropEntry& p : *entry.Props) {
            writer.U32(static_cast<uint32_t>(p.ID));
            writer.AnsiString(p.Path);
        }
    }
    writer.U8(entry.Children ? 1 : 0);
    if (entry.Children) {
        writer.U32(static_cast<uint32_t>(entry.Children->size()));
        for (const TLangCompEntry& child : *entry.Children)
            WriteEntry(writer, child);
    }
}

auto PathLess = [](const TLangPropEntry& p, std::string_view path) {
    return CompareAnsiText(p.Path, path) < 0;
};

}  // namespace

const TLangPropEntry* TLangCompEntry::FindProp(std::string_view path) const {
    if (!Props)
        return nullptr;
    auto it = std::lower_bound(Props->begin(), Props->end(), path, PathLess);
    return it != Props->end() && SameAnsiText(it->Path, path) ? &*it : nullptr;
}

TLangPropEntry* TLangCompEntry::FindProp(std::string_view path) {
    return const_cast<TLangPropEntry*>(std::as_const(*this).FindProp(path));
}

bool TLangCompEntry::AddProp(TLangPropEntry prop) {
    if (!Props)
        Props.emplace();
    auto it = std::lower_bound(Props->begin(), Props->end(), prop.Path, PathLess);
    if (it != Props->end() && SameAnsiText(it->Path, prop.Path))
        return false;
    Props->insert(it, std::move(prop));
    return true;
}

TLangCompEntry ReadLangData(std::span<const uint8_t> bytes) {
    TLangReader reader(bytes);
    return ReadEntry(reader, 0);
}

std::vector<uint8_t> WriteLangData(const TLangCompEntry& root) {
    TLangWriter writer;
    WriteEntry(writer, root);
    return writer.Bytes();
}

std::vector<std::string> ReadLangStrings(std::span<const uint8_t> bytes) {
    TLangReader reader(bytes);
    uint32_t count = reader.U32();
    reader.ExpectItems(count, 2);
    std::vector<std::string> list;
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        list.push_back(reader.AnsiString());
    return list;
}

std::vector<uint8_t> WriteLangStrings(const std::vector<std::string>& list) {
    TLangWriter writer;
    writer.U32(static_cast<uint32_t>(list.size()));
    for (const std::string& s : list)
        writer.AnsiString(s);
    return writer.Bytes();
}

}  // namespace tessor::lang
