#include "check/TextsCheck.h"

#include <algorithm>

#include "check/Suggest.h"
#include "download/Shortcut.h"

namespace {

void CheckEncoding(const CheckedPackage& package, Report& report) {
    std::vector<char> bytes;
    package.language.Read(bytes);
    if (bytes.size() >= 3 && std::equal(bytes.begin(), bytes.begin() + 3, "\xEF\xBB\xBF"))
        report.Error(kLanguageName, 1, L"starts with a byte-order mark, which hides the first section's header: "
                                       L"save it as UTF-8 without one");
    int line = 1;
    for (size_t start = 0; start < bytes.size(); ++line) {
        size_t end = start;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        int length = static_cast<int>(end - start);
        if (length > 0 && !::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start, length, nullptr, 0))
            report.Error(kLanguageName, line, L"is not valid UTF-8: its text shows garbled");
        start = end + 1;
    }
}

std::wstring Joined(const std::wstring& list, const std::wstring& more) { return list.empty() ? more : list + L", " + more; }

// A ShortName that the section lacks, as DefaultLanguage and the addresses then see it.
void CheckShortName(const CheckedPackage& package, const LanguageSection& section, const FoundText& found,
                    Report& report) {
    const std::wstring name = L"[" + section.name + L"]";
    const LanguageSection* source = package.SectionAt(found.line);
    if (found.line != std::wstring::npos && source != &section)
        report.Error(kLanguageName, section.line,
                     name + L" has no ShortName and reads [" + source->name + L"]'s, '" + found.value +
                         L"': DefaultLanguage '" + found.value + L"' picks " + name + L" first");
    else if (found.line == std::wstring::npos)
        report.Error(kLanguageName, section.line,
                     name + L" has no ShortName: DefaultLanguage never picks it, and its addresses get none");
}

// Placeholders a text still holds once the wizard has replaced its own: shown as written.
void CheckPlaceholders(const CheckedPackage& package, const LanguageSection& section, const std::wstring& key,
                       const FoundText& found, Report& report) {
    const bool shortcut = key == L"InstallerShortCutString";
    const std::wstring shown = shortcut ? ShortcutFileName(found.value) : found.value;
    std::vector<std::wstring> known = shortcut ? std::vector<std::wstring>{L"%AppName%"} : NamesOf(TextPlaceholder);
    std::wstring replaced;
    for (const std::wstring& placeholder : known) replaced = Joined(replaced, placeholder);
    std::vector<std::wstring> left = MarkedWords(shown, L'%');
    for (const std::wstring& word : MarkedWords(shown, L'$')) left.push_back(word);
    for (const std::wstring& word : left) {
        std::wstring meant = ClosestName(word, known);
        report.Warning(kLanguageName, package.LineOf(found),
                       L"[" + section.name + L"] " + key + L" shows " + word + L" as written: " +
                           (shortcut ? L"the shortcut's name has " : L"texts have ") + Listed(replaced) +
                           L" replaced" + (meant.empty() ? L"" : L" (did you mean " + meant + L"?)"));
    }
}

// Where each of the section's texts comes from, as the wizard looks them up.
void CheckSection(const CheckedPackage& package, const LanguageSection& section, Report& report) {
    const std::wstring name = L"[" + section.name + L"]";
    const std::vector<std::wstring> keys = NamesOf(TextKeyName);
    for (const auto& key : section.keys)
        if (std::find(keys.begin(), keys.end(), key.first) == keys.end())
            report.Warning(kLanguageName, key.second, name + L": " + UnknownKey(key.first, keys));
    if (section.duplicate) return;  // the wizard reads the first section of the name

    std::vector<std::wstring> from(package.sections.size());  // keys taken from each later section
    std::wstring empty, english, emptyEnglish;
    for (const std::wstring& key : keys) {
        const FoundText found = package.Text(section.name, key);
        const LanguageSection* source = package.SectionAt(found.line);
        const bool own = found.line != std::wstring::npos && source == &section;
        if (key == L"ShortName") {
            CheckShortName(package, section, found, report);
        } else if (found.builtIn) {
            if (own)
                emptyEnglish = Joined(emptyEnglish, key);
            else
                english = Joined(english, key);
        } else if (found.line == std::wstring::npos) {
            empty = Joined(empty, key);
        } else if (!own) {
            from[static_cast<size_t>(source - package.sections.data())] =
                Joined(from[static_cast<size_t>(source - package.sections.data())], key);
        } else {
            CheckPlaceholders(package, section, key, found, report);
        }
    }
    for (size_t i = 0; i < from.size(); ++i)
        if (!from[i].empty())
            report.Warning(kLanguageName, section.line,
                           name + L" lacks " + from[i] + L": taken from [" + package.sections[i].name + L"]");
    if (!empty.empty()) report.Warning(kLanguageName, section.line, name + L" lacks " + empty + L": shown empty");
    if (!english.empty())
        report.Warning(kLanguageName, section.line, name + L" lacks " + english + L": shown in the program's English");
    if (!emptyEnglish.empty())
        report.Warning(kLanguageName, section.line,
                       name + L" leaves " + emptyEnglish + L" empty: shown in the program's English");
}

}  // namespace

void CheckTexts(const CheckedPackage& package, Report& report) {
    if (!package.language.Exists()) return report.Error(kLanguageName, 0, L"missing: every text is empty");
    CheckEncoding(package, report);
    if (package.sections.empty()) report.Error(kLanguageName, 0, L"has no language sections: every text is empty");
    bool english = false;
    for (const LanguageSection& section : package.sections) {
        english = english || section.name == L"English";
        if (section.duplicate)
            report.Warning(kLanguageName, section.line,
                           L"[" + section.name + L"] is there twice: the wizard reads the first one");
        CheckSection(package, section, report);
    }
    if (!package.sections.empty() && !english)
        report.Warning(kLanguageName, 0, L"has no [English] section, which a language without a section reads");
}
