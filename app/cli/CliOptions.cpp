#include "app/cli/CliOptions.h"

#include <fstream>
#include <functional>
#include <map>
#include <utility>

namespace {

using Setter = std::function<void(CliOptions&, const std::string&)>;

// Options that take a value, by every name they answer to.
const std::map<std::string, Setter>& ValueOptions() {
    static const std::map<std::string, Setter> options = {
        {"-o",
         [](CliOptions& o, const std::string& v) {
             o.outputFolder = v;
             o.outputGiven = true;
         }},
        {"--output",
         [](CliOptions& o, const std::string& v) {
             o.outputFolder = v;
             o.outputGiven = true;
         }},
        {"--lang", [](CliOptions& o, const std::string& v) { o.language = v; }},
        {"--title",
         [](CliOptions& o, const std::string& v) {
             o.pdf.m_strTitle = v;
             o.pdfOptionsGiven = true;
         }},
        {"--subject",
         [](CliOptions& o, const std::string& v) {
             o.pdf.m_strSubject = v;
             o.pdfOptionsGiven = true;
         }},
        {"--author",
         [](CliOptions& o, const std::string& v) {
             o.pdf.m_strAuthor = v;
             o.pdfOptionsGiven = true;
         }},
        {"--keywords",
         [](CliOptions& o, const std::string& v) {
             o.pdf.m_strKeywords = v;
             o.pdfOptionsGiven = true;
         }},
        {"--owner-password",
         [](CliOptions& o, const std::string& v) {
             o.pdf.m_strOwnerPassword = v;
             o.pdfOptionsGiven = true;
         }},
        {"--user-password",
         [](CliOptions& o, const std::string& v) {
             o.pdf.m_strUserPassword = v;
             o.pdfOptionsGiven = true;
         }},
        {"--owner-password-file",
         [](CliOptions& o, const std::string& v) {
             o.ownerPasswordFile = v;
             o.pdfOptionsGiven = true;
         }},
        {"--user-password-file",
         [](CliOptions& o, const std::string& v) {
             o.userPasswordFile = v;
             o.pdfOptionsGiven = true;
         }},
    };
    return options;
}

using Flag = std::function<void(CliOptions&)>;

const std::map<std::string, Flag>& FlagOptions() {
    static const std::map<std::string, Flag> flags = {
        {"--keep-links",
         [](CliOptions& o) {
             o.pdf.m_bKeepLinks = 1;
             o.pdfOptionsGiven = true;
         }},
        {"--keep-bookmarks",
         [](CliOptions& o) {
             o.pdf.m_bKeepBookmarks = 1;
             o.pdfOptionsGiven = true;
         }},
        {"--no-print",
         [](CliOptions& o) {
             o.pdf.m_bNoPrint = 1;
             o.pdfOptionsGiven = true;
         }},
        {"--no-change",
         [](CliOptions& o) {
             o.pdf.m_bNoChange = 1;
             o.pdfOptionsGiven = true;
         }},
        {"--no-copy",
         [](CliOptions& o) {
             o.pdf.m_bNoCopy = 1;
             o.pdfOptionsGiven = true;
         }},
        {"--keep-existing", [](CliOptions& o) { o.keepExisting = true; }},
        {"--fetch-linked-pictures", [](CliOptions& o) { o.fetchRemoteContent = true; }},
        {"--help", [](CliOptions& o) { o.help = true; }},
        {"-h", [](CliOptions& o) { o.help = true; }},
        {"--version", [](CliOptions& o) { o.version = true; }},
    };
    return flags;
}

// One line of `input`, without its line end; false at its end.
bool ReadLine(std::istream& input, std::string* line) {
    if (!std::getline(input, *line)) {
        return false;
    }
    if (!line->empty() && line->back() == '\r') {
        line->pop_back();
    }
    return true;
}

bool ReadPassword(const std::string& source, std::istream& input, std::string* password) {
    if (source == "-") {
        // An empty standard input gives an empty password, as an empty file does.
        if (!ReadLine(input, password)) {
            password->clear();
        }
        return !input.bad();
    }
    std::ifstream file(source);
    if (!file) {
        return false;
    }
    if (!ReadLine(file, password)) {
        password->clear();
    }
    return !file.bad();
}

}  // namespace

bool ReadPasswordFiles(CliOptions* options, std::istream& input, CliParseError* error) {
    const std::pair<const std::string*, std::string*> sources[] = {
        {&options->ownerPasswordFile, &options->pdf.m_strOwnerPassword},
        {&options->userPasswordFile, &options->pdf.m_strUserPassword}};
    for (const auto& [source, password] : sources) {
        if (source->empty()) {
            continue;
        }
        if (!ReadPassword(*source, input, password)) {
            *error = {"PasswordFile", *source};
            return false;
        }
    }
    return true;
}

bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions* options,
                     CliParseError* error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options->files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (auto flag = FlagOptions().find(argument); flag != FlagOptions().end()) {
            flag->second(*options);
            continue;
        }
        // "--name=value" and "-oDIR" carry their value in the same argument.
        std::string name = argument;
        std::string value;
        bool inlineValue = false;
        if (const std::size_t equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            inlineValue = true;
        } else if (argument.rfind("-o", 0) == 0 && argument.size() > 2 && argument[1] != '-') {
            name = "-o";
            value = argument.substr(2);
            inlineValue = true;
        }
        auto setter = ValueOptions().find(name);
        if (setter == ValueOptions().end()) {
            *error = {"UnknownOption", argument};
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                *error = {"MissingValue", argument};
                return false;
            }
            value = arguments[++i];
        }
        setter->second(*options, value);
    }
    return true;
}
