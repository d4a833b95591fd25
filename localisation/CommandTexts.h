#pragma once
// What cvconf says besides its file errors (FileMessages): the keys of its
// messages in the language file's language sections and their built-in
// English. "%1" and on stand for the arguments. A new message is one line
// here, its name in All, and its key in the shipped language file.

#include "fileio/FileError.h"
#include "localisation/Captions.h"

#include <QStringList>
#include <array>

namespace CommandTexts {
inline constexpr MessageKey SeeHelp{"CVConf_SeeHelp", "see cvconf --help"};
inline constexpr MessageKey NoVerb{"CVConf_NoVerb", "no verb given"};
inline constexpr MessageKey UnknownVerb{"CVConf_UnknownVerb", "unknown verb \"%1\""};
inline constexpr MessageKey UnknownOption{"CVConf_UnknownOption", "unknown option \"%1\""};
inline constexpr MessageKey UnknownVerbOption{"CVConf_UnknownVerbOption", "unknown option \"%1\" for %2"};
inline constexpr MessageKey OptionNeedsValue{"CVConf_OptionNeedsValue", "option %1 needs a value"};
inline constexpr MessageKey WaitSeconds{"CVConf_WaitSeconds", "--wait takes a whole number of seconds, not \"%1\""};
inline constexpr MessageKey LanguageNeedsJson{"CVConf_LanguageNeedsJson", "list --language needs --json"};
inline constexpr MessageKey TooManyArguments{"CVConf_TooManyArguments", "%1: too many arguments"};
inline constexpr MessageKey NameMissing{"CVConf_NameMissing", "%1: a parameter name is missing"};
inline constexpr MessageKey NoPair{"CVConf_NoPair", "\"%1\" is no NAME=VALUE pair"};
inline constexpr MessageKey NoName{"CVConf_NoName", "\"%1\" is no parameter name"};
inline constexpr MessageKey LineBreak{"CVConf_LineBreak",
                                      "the value for %1 holds a line break, which would add a line"};
inline constexpr MessageKey UnknownName{
    "CVConf_UnknownName", "unknown parameter \"%1\" (cvconf list shows the parameters; --any-key accepts any key)"};
inline constexpr MessageKey UnknownNameDidYouMean{"CVConf_UnknownNameDidYouMean",
                                                  "unknown parameter \"%1\"; did you mean %2?"};
inline constexpr MessageKey Or{"CVConf_Or", "%1 or %2"};  // the last two of a list of names
inline constexpr MessageKey UnknownLanguage{"CVConf_UnknownLanguage",
                                            "unknown language \"%1\"; the language file has %2"};
inline constexpr MessageKey MissingConfFile{
    "CVConf_MissingConfFile",
    "Missing corvane.conf file (looked for %1). Please verify that your corvane server is properly installed."};

inline constexpr std::array All{&SeeHelp,     &NoVerb,     &UnknownVerb, &UnknownOption,   &UnknownVerbOption,
                                &OptionNeedsValue, &WaitSeconds, &LanguageNeedsJson, &TooManyArguments, &NameMissing, &NoPair,
                                &NoName,      &LineBreak,  &UnknownName, &UnknownNameDidYouMean, &Or,
                                &UnknownLanguage, &MissingConfFile};
}  // namespace CommandTexts

// The text in CurrentLanguage, else the built-in English, with its arguments.
QString CommandText(const MessageKey &text, const QStringList &arguments = {});

// A file message in CurrentLanguage, else its English: how cvconf tells file errors.
QString InCurrentLanguage(const FileMessage &message);
