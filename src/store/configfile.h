// The configuration file kbconf.ini: the service table, every rule and three
// settings, rewritten whole after every change and read once at start-up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "store/inilines.h"  // ConfigWarning and the line helpers
#include "store/servicetable.h"

namespace kb {

// Rewrites the whole file from `store` through a temporary file renamed into
// place, readable by its owner only (it holds FTP passwords).
// 0 ok; -2 on failure with the old file intact.
int WriteConfigFile(const std::string& path, const ServiceStore& store);
// The same save, telling why it failed.
Status SaveConfigFile(const std::string& path, const ServiceStore& store);

// The exact bytes WriteConfigFile puts into the file.
std::string FormatConfigFile(const ServiceStore& store);

// Reads the file over `store`: the settings, ConfigVersion and the services.
// 0 when everything was read. -1 when the first line is not "[Main Info]"
// (nothing read) or reading stopped early at a missing header, a number that
// is not a decimal integer or an impossible count (negative, more than the
// file's remaining lines, or a "Service Count" below the six networks): what
// was read before is kept, unread positions keep what they held. A file that
// ends inside a record (a key with no line left) is damage too. -2 when the
// file cannot be opened (silently). Each loaded record gets a fresh uid and
// no baseline. `skippedLines`, when given, tells after a full read whether
// lines were passed over (before a header or after the last record).
int ReadConfigFile(const std::string& path, ServiceStore& store, const ConfigWarning& warn,
                   bool* skippedLines = nullptr);
// The same over the file's bytes already in memory (never -2).
int ReadConfigText(std::string_view text, ServiceStore& store, const ConfigWarning& warn,
                   bool* skippedLines = nullptr);

// The same reads telling each warning's line, for messages that point into
// the file ("kbconf.ini:17: ...").
int ReadConfigFileLocated(const std::string& path, ServiceStore& store,
                          const LocatedConfigWarning& warn);
int ReadConfigTextLocated(std::string_view text, ServiceStore& store,
                          const LocatedConfigWarning& warn);

// Start-up: when the file exists read it over the built-in table; when its
// ConfigVersion is below 1.0 rewrite it (the upgrade rule). Warnings go to
// warn. A file that did not read completely, or held lines the reader passed
// over, is first copied to BackupConfigPath(path), since the rewrite (and
// every later save) replaces what could not be read.
void LoadConfigAtStartup(const std::string& path, ServiceStore& store, const ConfigWarning& warn);
std::string BackupConfigPath(const std::string& path);

// The Version value as a number: with "." as the decimal separator, else
// with `systemSeparator`; nullopt when neither reads.
std::optional<double> ParseConfigVersion(const std::string& text, char systemSeparator);
// The decimal separator of the user's locale ('.' when none is configured).
char SystemDecimalSeparator();

}  // namespace kb
