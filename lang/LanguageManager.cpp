#include "lang/LanguageManager.h"

#include <algorithm>
#include <mutex>

#include "engine/platform/Strings.h"
#include "lang/LangError.h"
#include "lang/LanguageController.h"

namespace tessor::lang {

namespace {

// The managers whose read lock this thread holds. A handler of a language
// change (OnLanguageChanged) may look up constants while the switch still
// holds the read lock; a second shared lock by the same thread would be
// undefined behaviour, so the nested reader goes on under the first.
thread_local std::vector<const TLanguageManager*> t_reading;

bool ReadingHere(const TLanguageManager* manager) {
    return std::find(t_reading.begin(), t_reading.end(), manager) != t_reading.end();
}

class TReadLock {
public:
    TReadLock(std::shared_mutex& mutex, const TLanguageManager* manager) {
        if (ReadingHere(manager))
            return;
        mutex.lock_shared();
        mutex_ = &mutex;
        t_reading.push_back(manager);
    }
    ~TReadLock() {
        if (mutex_ == nullptr)
            return;
        t_reading.pop_back();
        mutex_->unlock_shared();
    }
    TReadLock(const TReadLock&) = delete;
    TReadLock& operator=(const TReadLock&) = delete;

private:
    std::shared_mutex* mutex_ = nullptr;
};

// Taking the write lock while this thread reads would wait for itself.
std::unique_lock<std::shared_mutex> WriteLock(std::shared_mutex& mutex,
                                              const TLanguageManager* manager) {
    if (ReadingHere(manager))
        throw ELangError("The language cannot change while its texts are being applied");
    return std::unique_lock<std::shared_mutex>(mutex);
}

}  // namespace

std::u16string KnownLanguageName(uint16_t languageId) {
    switch (languageId) {
        case 1033:
            return u"English (United States)";
        case 1031:
            return u"German (Germany)";
        case 1048:
            return u"Romanian (Romania)";
        default:
            return {};
    }
}

TLanguageManager::TLanguageManager(const TResourceModule* program)
    : codePage_(AnsiCodePageOf(kDefaultLanguage)) {
    if (program != nullptr) {
        if (auto bytes = program->Find(u"XELANG_CONSTS"))
            ReadConstantsStream(*bytes, constants_);
    }
    TranslateConstants(nullptr);
}

std::u16string TLanguageManager::GetLangConstant(std::string_view name) const {
    TReadLock lock(lock_, this);
    if (const TLangConstant* c = constants_.Find(name))
        return c->Value;
    throw ELangError(FormatLangMessage(kConstantNotFound, std::string(name).c_str()));
}

void TLanguageManager::RegisterLanguage(const TResourceModule* instance,
                                        std::u16string_view resourceName, uint16_t languageId) {
    auto lock = WriteLock(lock_, this);
    if (languageId == kDefaultLanguage)
        return;
    TLangResource resource{instance, std::u16string(resourceName), languageId};
    for (TLangResource& r : languages_) {
        if (r.LanguageId == languageId) {
            r = std::move(resource);
            return;
        }
    }
    languages_.push_back(std::move(resource));
}

int TLanguageManager::LanguageCount() const {
    TReadLock lock(lock_, this);
    return static_cast<int>(languages_.size()) + 1;
}

uint16_t TLanguageManager::LanguageIdAt(int index) const {
    TReadLock lock(lock_, this);
    if (index == 0)
        return kDefaultLanguage;
    if (index < 0 || static_cast<size_t>(index) > languages_.size())
        throw ELangError(FormatLangMessage("List index out of bounds (%d)", index));
    return languages_[static_cast<size_t>(index) - 1].LanguageId;
}

std::u16string TLanguageManager::LanguageNameAt(int index) const {
    uint16_t id = LanguageIdAt(index);
    std::u16string name = KnownLanguageName(id);
    return name.empty() ? platform::FromSystem(std::to_string(id)) : name;
}

uint16_t TLanguageManager::CurrentLanguage() const {
    TReadLock lock(lock_, this);
    return current_;
}

uint32_t TLanguageManager::CodePage() const {
    TReadLock lock(lock_, this);
    return codePage_;
}

std::unique_ptr<TLangTranslation> TLanguageManager::LoadTranslation(uint16_t languageId) const {
    if (languageId == kDefaultLanguage)
        return nullptr;
    auto it = std::find_if(languages_.begin(), languages_.end(),
                           [&](const TLangResource& r) { return r.LanguageId == languageId; });
    if (it == languages_.end())
        return nullptr;
    std::optional<std::span<const uint8_t>> bytes;
    if (it->Instance != nullptr)
        bytes = it->Instance->Find(it->ResourceName);
    if (!bytes) {
        throw ELangError(FormatLangMessage("Resource %s not found",
                                           platform::ToSystem(it->ResourceName).c_str()));
    }
    return std::make_unique<TLangTranslation>(ParseLanguageFile(*bytes));
}

void TLanguageManager::TranslateConstants(const TLangTranslation* translation) {
    for (size_t i = 0; i < constants_.Count(); ++i) {
        TLangConstant& c = constants_.At(i);
        if (translation == nullptr) {
            c.Value = c.Default;
        } else if (const TLangConstant* t = translation->Constants.Find(c.Name)) {
            c.Value = t->Value;
        }
    }
}

void TLanguageManager::SelectLanguage(uint16_t languageId) {
    std::unique_ptr<TLangTranslation> translation;
    {
        auto lock = WriteLock(lock_, this);
        // The whole file is read before anything changes: a file that fails
        // leaves the language and every text as they were.
        translation = LoadTranslation(languageId);
        if (!translation)
            languageId = kDefaultLanguage;
        if (languageId == current_)
            return;
        current_ = languageId;
        codePage_ = AnsiCodePageOf(languageId);
        // The constants change under the write lock, so a reader on another
        // thread never sees them half translated.
        TranslateConstants(translation.get());
    }
    TReadLock lock(lock_, this);
    // A controller removed by a handler of an earlier one leaves a null slot
    // (RemoveController), so the list is walked by index.
    for (size_t i = 0; i < controllers_.size(); ++i) {
        if (controllers_[i] != nullptr)
            controllers_[i]->TranslateController(translation.get(), codePage_);
    }
}

void TLanguageManager::ApplyCurrentLanguage(TLanguageController& controller) {
    TReadLock lock(lock_, this);
    if (current_ == kDefaultLanguage)
        return;
    std::unique_ptr<TLangTranslation> translation = LoadTranslation(current_);
    controller.TranslateController(translation.get(), codePage_);
}

void TLanguageManager::AddController(TLanguageController* controller) {
    auto lock = WriteLock(lock_, this);
    if (std::find(controllers_.begin(), controllers_.end(), controller) == controllers_.end())
        controllers_.push_back(controller);
}

void TLanguageManager::RemoveController(TLanguageController* controller) {
    if (ReadingHere(this)) {
        // A window closed from inside a language change: this thread is
        // walking the list, so the slot is only emptied.
        std::replace(controllers_.begin(), controllers_.end(), controller,
                     static_cast<TLanguageController*>(nullptr));
        return;
    }
    std::unique_lock<std::shared_mutex> lock(lock_);
    std::erase(controllers_, controller);
    std::erase(controllers_, nullptr);
}

}  // namespace tessor::lang
