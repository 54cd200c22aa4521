#include "lang/LangConstants.h"

#include <utility>

#include "lang/LangError.h"
#include "lang/LangResources.h"
#include "lang/LangStream.h"

namespace tessor::lang {

size_t TLangConstants::LowerBound(std::string_view name) const {
    size_t lo = 0, hi = items_.size();
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (CompareAnsiText(items_[mid].Name, name) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

const TLangConstant* TLangConstants::Find(std::string_view name) const {
    size_t i = LowerBound(name);
    if (i < items_.size() && CompareAnsiText(items_[i].Name, name) == 0)
        return &items_[i];
    return nullptr;
}

TLangConstant* TLangConstants::Find(std::string_view name) {
    return const_cast<TLangConstant*>(std::as_const(*this).Find(name));
}

bool TLangConstants::Add(TLangConstant constant) {
    size_t i = LowerBound(constant.Name);
    if (i < items_.size() && CompareAnsiText(items_[i].Name, constant.Name) == 0)
        return false;
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(i), std::move(constant));
    return true;
}

void ReadConstantsStream(std::span<const uint8_t> bytes, TLangConstants& out) {
    TLangReader reader(bytes);
    uint8_t version = reader.U8();
    if (version > kConstantsStreamVersion)
        throw ELangError(FormatLangMessage(kStreamVersion, version, int(kConstantsStreamVersion)));
    reader.U8();  // the flag says nothing at run time
    uint32_t count = reader.U32();
    // Each entry holds at least its two 16-bit lengths.
    reader.ExpectItems(count, 4);
    TLangConstants read;
    for (uint32_t i = 0; i < count; ++i) {
        TLangConstant c;
        c.Name = reader.AnsiString();
        c.Default = reader.WideString();
        c.Value = c.Default;
        std::string name = c.Name;
        if (!read.Add(std::move(c)))
            throw ELangError(FormatLangMessage(kDuplicateConstantName, name.c_str()));
    }
    out = std::move(read);
}

std::vector<uint8_t> WriteConstantsStream(std::span<const TConstantSource> entries, uint8_t flag) {
    TLangWriter writer;
    writer.U8(kConstantsStreamVersion);
    writer.U8(flag);
    writer.U32(static_cast<uint32_t>(entries.size()));
    for (const TConstantSource& e : entries) {
        writer.AnsiString(e.Name);
        writer.WideString(e.Text);
    }
    return writer.Bytes();
}

bool IsConstantName(std::u16string_view name) {
    if (name.empty() || (name[0] >= u'0' && name[0] <= u'9'))
        return false;
    for (char16_t c : name) {
        bool ok = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                  (c >= u'0' && c <= u'9') || c == u'_';
        if (!ok)
            return false;
    }
    return true;
}

}  // namespace tessor::lang
