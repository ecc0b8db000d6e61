#pragma once
// "Did you mean": the known name closest to a misspelt one.

#include <cstddef>
#include <string>
#include <vector>

// The closest of the names (letter case ignored), or empty when none is close enough to be meant.
std::wstring ClosestName(const std::wstring& word, const std::vector<std::wstring>& names);
// The names of a list function (SettingKeyName, TextKeyName, ...), which gives null past the last.
std::vector<std::wstring> NamesOf(const wchar_t* (*names)(size_t));
// "unknown key X (did you mean Y?): it is never read".
std::wstring UnknownKey(const std::wstring& key, const std::vector<std::wstring>& names);
// The words between pairs of `mark` in a text ("%Brand%", "$SL$"), marks included: what a text
// or an address still holds of placeholders. A word starts with a letter and holds letters,
// digits and "_" only, so "50% off, 20%" holds none.
std::vector<std::wstring> MarkedWords(const std::wstring& text, wchar_t mark);
