#include "components/vernello/Vernello.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "platform/files.h"
#include "platform/program_folder.h"

namespace {

constexpr std::string_view kEnglish = "English";

class Language {
  public:
    explicit Language(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }

    // Keeps the first text of a key, so a repeated key cannot silently replace a translation.
    void Add(const std::string& section, const std::string& key, const char* text) {
        sections_[section].emplace(key, text);
    }

    const std::string* Find(std::string_view section, std::string_view key) const {
        auto s = sections_.find(section);
        if (s == sections_.end()) {
            return nullptr;
        }
        auto t = s->second.find(key);
        return t == s->second.end() ? nullptr : &t->second;
    }

  private:
    using Texts = std::map<std::string, std::string, std::less<>>;
    std::string name_;
    std::map<std::string, Texts, std::less<>> sections_;
};

using LanguageList = std::vector<std::unique_ptr<Language>>;

// The languages and the selection. The texts live as long as their language, so a pointer that
// GetText handed out survives any number of SelectLanguage calls made meanwhile by another
// thread; only LoadLanguages frees them.
struct Catalogue {
    std::mutex mutex;
    LanguageList languages;
    const Language* english = nullptr;
    const Language* selected = nullptr;

    // Caller holds the mutex.
    const Language* Default() const {
        if (english != nullptr) {
            return english;
        }
        return languages.empty() ? nullptr : languages.front().get();
    }
};

Catalogue& TheCatalogue() {
    static Catalogue catalogue;
    return catalogue;
}

std::string ResolvePattern(const char* pattern) {
    std::string resolved = pattern;
    std::replace(resolved.begin(), resolved.end(), '\\', '/');
    if (!resolved.empty() && resolved.front() != '/') {
        resolved = GetProgramFolder() + resolved;
    }
    return resolved;
}

std::vector<std::string> MatchingFiles(const std::string& pattern) {
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return files;
    }
    // rfind gives npos for a bare pattern; npos + 1 is 0, an empty folder part.
    const std::string folder = pattern.substr(0, pattern.rfind('/') + 1);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            files.push_back(folder + found.cFileName);
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return files;
}

std::string FileStem(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::unique_ptr<Language> ReadLanguageFile(const std::string& path) {
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        return nullptr;
    }
    pugi::xml_node root = document.document_element();
    if (std::string_view(root.name()) != "Language") {
        return nullptr;
    }
    std::string name = root.attribute("name").value();
    auto language = std::make_unique<Language>(name.empty() ? FileStem(path) : name);
    for (pugi::xml_node section : root.children("Section")) {
        const std::string sectionName = section.attribute("name").value();
        for (pugi::xml_node text : section.children("Text")) {
            const std::string key = text.attribute("key").value();
            if (!key.empty()) {
                language->Add(sectionName, key, text.text().get());
            }
        }
    }
    return language;
}

}  // namespace

extern "C" {

void LoadLanguages(const char* pattern) {
    // Read outside the lock: a worker's GetText should not wait for the disk.
    LanguageList loaded;
    if (pattern != nullptr) {
        for (const std::string& file : MatchingFiles(ResolvePattern(pattern))) {
            if (auto language = ReadLanguageFile(file)) {
                loaded.push_back(std::move(language));
            }
        }
    }
    Catalogue& catalogue = TheCatalogue();
    std::lock_guard lock(catalogue.mutex);
    catalogue.languages.swap(loaded);
    catalogue.english = nullptr;
    for (const auto& language : catalogue.languages) {
        if (language->Name() == kEnglish) {
            catalogue.english = language.get();
            break;
        }
    }
    catalogue.selected = catalogue.Default();
}

int GetLanguageCount() {
    Catalogue& catalogue = TheCatalogue();
    std::lock_guard lock(catalogue.mutex);
    return static_cast<int>(catalogue.languages.size());
}

const char* GetLanguageName(int index) {
    Catalogue& catalogue = TheCatalogue();
    std::lock_guard lock(catalogue.mutex);
    if (index < 0 || static_cast<size_t>(index) >= catalogue.languages.size()) {
        return "";
    }
    return catalogue.languages[static_cast<size_t>(index)]->Name().c_str();
}

void SelectLanguage(const char* name) {
    Catalogue& catalogue = TheCatalogue();
    std::lock_guard lock(catalogue.mutex);
    const Language* chosen = nullptr;
    if (name != nullptr) {
        for (const auto& language : catalogue.languages) {
            if (language->Name() == name) {
                chosen = language.get();
                break;
            }
        }
    }
    catalogue.selected = chosen != nullptr ? chosen : catalogue.Default();
}

const char* GetText(const char* section, const char* key) {
    if (section == nullptr || key == nullptr) {
        return "";
    }
    Catalogue& catalogue = TheCatalogue();
    std::lock_guard lock(catalogue.mutex);
    for (const Language* language : {catalogue.selected, catalogue.english}) {
        if (language == nullptr) {
            continue;
        }
        if (const std::string* text = language->Find(section, key)) {
            return text->c_str();
        }
    }
    return "";
}

}  // extern "C"
