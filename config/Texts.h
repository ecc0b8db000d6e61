#pragma once
// The user-visible texts of Language.ini, one section per language.

#include <cstddef>
#include <string>
#include <vector>

#include "config/Package.h"

struct Texts {
    std::wstring ApplicationTitle;
    std::wstring WelcomeTitle;
    std::wstring InstallerShortCutString;  // kept with "%AppName%" as written
    std::wstring WelcomeMsg1;
    std::wstring WelcomeMsg2;
    std::wstring WelcomeSelectLng;
    std::wstring SetupContinued;
    std::wstring RequiredspaceLabel;
    std::wstring RequiredspaceValue;
    std::wstring AvailablespaceLabel;
    std::wstring DownloadingLabel;
    std::wstring ButtonBack;
    std::wstring ButtonNext;
    std::wstring ButtonIAgree;
    std::wstring ButtonCancel;
    std::wstring TermsNConditions;
    std::wstring TermsTxt;
    std::wstring ShortName;
    std::wstring ChooseFolder;
    std::wstring BrowseButton;
    std::wstring DontMiss;
    std::wstring NonStopPoker;
    std::wstring ThousandsOfPlayers;
    std::wstring LearnPoker;
    std::wstring TakeAdvantage;
    std::wstring SafeSecure;
    std::wstring CVFeatures;
    std::wstring NoThanks;
    std::wstring ContinueInstall;
    std::wstring ApplicationOpenMsg;
    std::wstring VistaProtectedFolderMsg;
    std::wstring MBLiteral;
    std::wstring OtherInstallerOpenMsg;
    std::wstring SelectInstallFolder;
    std::wstring Ok;
    std::wstring Cancel;
    std::wstring CreateFolder;
    std::wstring TryingToConnect;
    // Keys added later; older language files lack them, and read built-in English instead.
    std::wstring DownloadFailedMsg;
    std::wstring DownloadCorruptMsg;
    std::wstring InstallerStartFailedMsg;
    std::wstring ButtonRetry;
    // What went wrong with a download, one text each (DownloadFailedMsg says the rest).
    std::wstring DownloadNotFoundMsg;
    std::wstring DownloadServerErrorMsg;
    std::wstring DownloadSignInMsg;
    std::wstring DownloadDiskFullMsg;
    std::wstring DownloadFileInUseMsg;
    std::wstring DownloadMisconfiguredMsg;
    std::wstring DownloadSecureMsg;
    std::wstring DownloadRedirectMsg;
    std::wstring DownloadProxyMsg;  // the proxy's sign-in was cancelled
};

// The texts of the current language; empty until LoadTexts.
const Texts& AppTexts();

// The program's own Language.ini: in its package (see OwnPackage).
PackageFile LanguageFile();

// Section names in file order, duplicates and empty names included.
std::vector<std::wstring> ListLanguages(const PackageFile& file);
// One value of one language; a missing language reads from "English".
std::wstring ReadLanguageValue(const std::wstring& section, const std::wstring& key, const PackageFile& file,
                               bool substitute);
// Fills every text from one section; a key the file lacks gets its built-in English text if
// it has one.
void LoadTexts(const std::wstring& language, const PackageFile& file = LanguageFile());
// The first section whose ShortName equals the short name (ASCII case ignored), or empty.
std::wstring FindLanguageByShortName(const std::wstring& shortName, const PackageFile& file = LanguageFile());
// The index-th section name, or empty outside the list.
std::wstring LanguageAt(int index, const PackageFile& file = LanguageFile());

// Every line of a language file as the program's reader delivers it; false when it cannot be
// opened.
bool ReadLanguageLines(const PackageFile& file, std::vector<std::wstring>& lines);
// Whether the line is a section's header, "[name]" between blanks; `name` gets the name.
bool LanguageHeader(const std::wstring& line, std::wstring& name);
// Whether the line is "key=value"; both get their text, blanks around them removed.
bool LanguageEntry(const std::wstring& line, std::wstring& key, std::wstring& value);

// A text as LoadTexts finds it for a language: the value shown (placeholders replaced), the line
// of the file that gives it (npos when none does), and whether the program's own English stands
// in for a value that is missing or empty.
struct FoundText {
    std::wstring value;
    size_t line = std::wstring::npos;
    bool builtIn = false;
};
FoundText FindText(const std::vector<std::wstring>& lines, const std::wstring& language, const std::wstring& key);

// The English text the program shows for a key that a language file lacks altogether, or null
// for keys without one (for tools).
const wchar_t* BuiltInText(const std::wstring& key);
// The index-th key of a language section that the program reads, or null past the last (for tools).
const wchar_t* TextKeyName(size_t index);

// Replaces every occurrence of `from` by `to`, case-sensitively.
void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to);
// Replaces "$ProductName$", "$BrandName$", "$LangName$" and "$SL$", in that order.
void ExpandUrlPlaceholders(std::wstring& url);
// The tracking address (OmnitureLink) for a stage: its placeholders replaced, then "$StageID$" by
// the stage's number.
std::wstring TrackingAddress(int stage);
extern const wchar_t kStagePlaceholder[];
// The index-th placeholder that texts (TextPlaceholder) or addresses (AddressPlaceholder) have
// replaced, or null past the last (for tools).
const wchar_t* TextPlaceholder(size_t index);
const wchar_t* AddressPlaceholder(size_t index);
// The number in decimal digits. (std::to_wstring would bring the C library's whole
// formatted-output machinery into the executable for this one job.)
std::wstring DecimalText(long long value);
// Trims white space from both ends.
std::wstring Trim(const std::wstring& text);
