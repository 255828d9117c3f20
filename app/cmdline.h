// The command line: options, the source path and the two single-purpose forms.
//
// Options are written GNU-style. An option that takes a value (a path, a filter, a number
// such as a size) is written "--key=value" or "--key value"; one given without its value is an
// error. A switch is written "--key=value" or "--key" alone for "1". Keys compare without
// regard to case, the first occurrence of a key wins, and an empty value ("--key=") counts as
// not given. The older form "/key=value" (or "/key") is accepted only for a known key that
// does not name an existing file or folder, so paths such as "/home/me" or a folder "/export"
// stay paths. "--" ends the options. Every other argument is positional; the first one is
// the source path. "-uninstall" and "-setlanguage CODE" are recognised only as the very first
// argument; the language code of "-setlanguage" may also follow options ("-setlanguage
// --configfolder=DIR de").
//
// Unknown options are kept (they travel with a relaunch) but have no effect; each one gives a
// warning, since it is most likely a typing mistake.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

class TCommandLine {
public:
    // Whether a path names an existing file-system entry (tells "/export" the folder from
    // the option).
    using TPathExists = std::function<bool(const std::string&)>;

    TCommandLine() = default;
    // args: the arguments after the program name; exists: nil asks the file system.
    explicit TCommandLine(std::vector<std::string> args, const TPathExists& exists = nullptr) {
        Parse(std::move(args), exists);
    }
    void Parse(std::vector<std::string> args, const TPathExists& exists = nullptr);

    // The option's value, or def when it is not given (or given empty).
    std::string GetCommandLineOption(std::string_view key, std::string_view def = {}) const;
    bool HasOption(std::string_view key) const;
    // The n-th positional argument, from 1; empty when there are fewer.
    std::string GetPathArgument(int n) const;
    // Every option argument, each as a blank, a double quote, the argument and a double
    // quote, concatenated (for the debug log). A value given as the next argument is joined
    // to its option with "=".
    std::string GetOptionArguments() const;
    // The option arguments in that form, in order (for a relaunch).
    const std::vector<std::string>& OptionArguments() const { return FOptionArgs; }
    const std::vector<std::string>& Arguments() const { return FArgs; }

    bool Help() const { return FHelp; }
    bool Version() const { return FVersion; }
    bool Uninstall() const { return FUninstall; }
    // "-install": the desktop entries are written and the program ends.
    bool Install() const { return FInstall; }
    // "-setlanguage" was the first argument; its code is SetLanguageCode() (may be empty).
    bool SetLanguage() const { return FSetLanguage; }
    const std::string& SetLanguageCode() const { return FSetLanguageCode; }
    // "Unknown option ..." texts, one per unknown option.
    const std::vector<std::string>& Warnings() const { return FWarnings; }
    // What makes the command line impossible to carry out (an option without its value, a
    // language code that is none); the program ends with a usage error.
    const std::vector<std::string>& Errors() const { return FErrors; }

    // True for the option keys the program reads (lower case, without dashes).
    static bool IsKnownKey(std::string_view key);
    // True for the keys that take a value (the others are switches).
    static bool TakesValue(std::string_view key);

private:
    struct Option {
        std::string Key; // lower case
        std::string Value;
    };
    std::vector<std::string> FArgs;
    std::vector<Option> FOptions;
    std::vector<std::string> FPositional;
    std::vector<std::string> FOptionArgs;
    std::vector<std::string> FWarnings;
    std::vector<std::string> FErrors;
    bool FHelp = false, FVersion = false, FUninstall = false, FInstall = false,
         FSetLanguage = false;
    std::string FSetLanguageCode;
};

// Lenient integer parsing: an optional sign and decimal digits (blanks around allowed) give
// their value; anything else, or a value outside the int range, gives def.
int ParseIntDef(std::string_view text, int def);

// The quote conversion of filter values typed on a command line: each single quote becomes a
// double quote, two adjacent single quotes become one single quote. The result is normalised
// as the filter box does: " | ", " |" and "| " become "|".
std::string ConvertFilterQuotes(std::string_view text);

// "%d" -> date "yyyymmdd" and "%t" -> time "HHnnss" of when (a local date-time), every
// occurrence, case-sensitive.
std::string ExpandDateTimeName(std::string_view name, double when);

} // namespace qz
