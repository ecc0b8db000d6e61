#include "check/Suggest.h"

#include <algorithm>
#include <cwctype>

namespace {

// Edit distance with letter case ignored.
size_t Distance(const std::wstring& a, const std::wstring& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            bool same = std::towlower(a[i - 1]) == std::towlower(b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Whether the word holds the name, letter case and placeholder marks ignored.
bool Holds(const std::wstring& word, const std::wstring& name) {
    auto folded = [](std::wstring text) {
        std::wstring letters;
        for (wchar_t c : text)
            if (std::iswalnum(c)) letters += static_cast<wchar_t>(std::towlower(c));
        return letters;
    };
    const std::wstring inner = folded(name);
    return !inner.empty() && folded(word).find(inner) != std::wstring::npos;
}

}  // namespace

std::wstring ClosestName(const std::wstring& word, const std::vector<std::wstring>& names) {
    std::wstring best;
    size_t bestDistance = 3 + word.size() / 4;
    for (const std::wstring& name : names) {
        size_t d = Distance(word, name);
        // Of two as close, the one the word holds ("%BrandName%" means "%Brand%" rather than "%AppName%").
        if (d < bestDistance || (d == bestDistance && !best.empty() && Holds(word, name) && !Holds(word, best)))
            best = name, bestDistance = d;
    }
    return best;
}

std::vector<std::wstring> NamesOf(const wchar_t* (*names)(size_t)) {
    std::vector<std::wstring> list;
    for (size_t i = 0; names(i); ++i) list.push_back(names(i));
    return list;
}

std::wstring UnknownKey(const std::wstring& key, const std::vector<std::wstring>& names) {
    std::wstring best = ClosestName(key, names);
    return L"unknown key " + key + (best.empty() ? L"" : L" (did you mean " + best + L"?)") + L": it is never read";
}

std::vector<std::wstring> MarkedWords(const std::wstring& text, wchar_t mark) {
    std::vector<std::wstring> words;
    for (size_t at = text.find(mark); at != std::wstring::npos;) {
        size_t end = text.find(mark, at + 1);
        if (end == std::wstring::npos) break;
        std::wstring name = text.substr(at + 1, end - at - 1);
        bool word = !name.empty() && std::iswalpha(name[0]) &&
                    std::all_of(name.begin(), name.end(), [](wchar_t c) { return std::iswalnum(c) || c == L'_'; });
        if (!word) {
            at = end;  // a lone mark: the next one may open a word
            continue;
        }
        words.push_back(text.substr(at, end - at + 1));
        at = text.find(mark, end + 1);
    }
    return words;
}
