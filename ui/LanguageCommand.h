// The main window's language command: the user picks one of the languages the provider lists,
// and a different one is selected at once.
#pragma once

#include <string>

class QWidget;

// Runs the language dialog over owner, preselecting strLanguage (compared byte for byte; the
// first language when it is not listed). On OK strLanguage becomes the chosen name; when that
// differs from the one before, it is selected and the result is true: the caller refreshes its
// texts. Cancel, or a provider with no languages, changes nothing.
bool ChooseLanguage(QWidget* owner, std::string& strLanguage);
