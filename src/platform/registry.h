// The registry: a small tree of keys holding named, typed values. On Windows
// it is the system registry; elsewhere it is emulated by one text file in the
// format of registry exports ($XDG_CONFIG_HOME/Kestrelbox/registry.reg), read
// at every call so the environment decides where it lives.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kb {

enum class RegRoot { LocalMachine, CurrentUser };

// Value types as WriteRegValue takes them.
enum RegValueType : int {
    regKeepType = 0,  // the type the value already has (text when it is new)
    regText = 1,
    regExpandText = 2,
    regInteger = 3,  // 32-bit; the value is given as decimal text
    regBinary = 4,   // the bytes of the value's text
};

// Raised when a key cannot be opened or written; what() is the system's
// message for the failure, ready to show to the user.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Key paths use "\" between names; a leading "\" is ignored and names compare
// without regard to case, so "\SOFTWARE\Kestrelbox" and "Software\kestrelbox"
// are one key.

// Reads a text or expandable-text value. Returns 0 and sets `out`; a value
// that does not exist reads as "". Returns -1 and leaves `out` unchanged when
// the key does not exist or the value is of another type.
int ReadRegString(RegRoot root, const std::string& keyPath, const std::string& valueName,
                  std::string& out);

// True when the value exists in the key, of whatever type.
bool RegValueExists(RegRoot root, const std::string& keyPath, const std::string& valueName);

// Reads a 32-bit integer value. Returns 0 and sets `out`; returns -1 and
// leaves `out` unchanged when the key or value is missing or not an integer.
int ReadRegInteger(RegRoot root, const std::string& keyPath, const std::string& valueName,
                   std::int32_t& out);

// Writes one value, creating the key (and its parents) when absent. Throws
// RegistryError when the key cannot be written or `type` is outside 0..4, or
// when an integer is not given as a decimal number.
void WriteRegValue(RegRoot root, const std::string& keyPath, const std::string& valueName,
                   const std::string& value, int type);

// Writes a 32-bit integer value; throws RegistryError as WriteRegValue does.
void WriteRegInteger(RegRoot root, const std::string& keyPath, const std::string& valueName,
                     std::int32_t value);

// Removes one value; a value that does not exist is not an error. Throws
// RegistryError when the key cannot be opened or written.
void DeleteRegValue(RegRoot root, const std::string& keyPath, const std::string& valueName);

// True when the key exists (opened without creating it).
bool RegKeyExists(RegRoot root, const std::string& keyPath);

// Creates the key (and its parents) when absent; throws RegistryError.
void CreateRegKey(RegRoot root, const std::string& keyPath);

// Removes what a save killed half-way left beside the emulated registry's
// file. Nothing to do where the registry is the system's.
void RemoveRegistryLeftovers();

}  // namespace kb
