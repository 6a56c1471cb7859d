// Line helpers of the configuration file. The file is a fixed sequence of
// CRLF-terminated lines: headers such as "[Service 3]" and "key=value" lines
// whose values are taken by position, not by key name.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// Receives each warning text of the reader; the GUI shows each as a modal "Warning" box.
using ConfigWarning = std::function<void(const std::string& text)>;
// The same with the number, from 1, of the line the reader was at.
using LocatedConfigWarning = std::function<void(const std::string& text, std::size_t line)>;

// Appending writers; each adds one complete line ending in CR LF.
void WriteHeaderLine(std::string& out, std::string_view header);
// A value cannot span lines in this format, so line breaks inside `text`
// become blanks rather than shifting every later line out of place.
void WriteStrKey(std::string& out, std::string_view key, std::string_view text);
void WriteIntKey(std::string& out, std::string_view key, std::int64_t number);
// Reversed on purpose, for compatibility with existing files: true is "0", false is "1".
void WriteBoolKey(std::string& out, std::string_view key, bool flag);

// Classifies one line (without its line ending). A key line holds an "=" with
// no "[" before it: key is the text before the first "=", value the rest, and
// the result is 0. Any other line containing "[" is a control line: the
// result is N >= 1 when the text after its first "-" (or from its start) up
// to its first "]" is a decimal number N, else -1. A line with neither "="
// nor "[" is a key line with that whole text as key and an empty value.
int SplitLine(const std::string& line, std::string& key, std::string& value);

// A strict signed decimal (surrounding blanks allowed) that fits 32 bits.
std::optional<std::int32_t> ParseDecimal(std::string_view text);

// The whole file held as lines, read forward once.
class IniLineReader {
public:
    // False when the file cannot be opened or nothing at all can be read from it.
    bool Load(const std::string& path);
    void LoadText(std::string_view text);

    // Next line, or false at the end.
    bool ReadLine(std::string& line);
    // The next line without using it up, or nullptr at the end.
    const std::string* Peek() const;
    std::size_t Remaining() const { return lines_.size() - pos_; }
    // The number, from 1, of the last line read (0 before the first).
    std::size_t LineNumber() const { return pos_; }
    // The file system failed part-way; the lines before the failure are kept.
    bool InputError() const { return inputError_; }

private:
    std::vector<std::string> lines_;
    std::size_t pos_ = 0;
    bool inputError_ = false;
};

// Scans forward, from the line after the last one read, to a line exactly
// equal to `header`. 0 when found; at the end of the file warns that the tag
// was not found and returns -1.
int FindSection(IniLineReader& in, const std::string& header, const ConfigWarning& warn);

// Reading the next key line into a field. Values are taken by position: the
// key name in the file is not compared; `key` only names the line in warnings.
enum class KeyRead {
    Ok,         // the value was stored (at the end of the file: an empty value)
    Unchanged,  // a control line without a usable value: the field keeps what it held
    Failed,     // a warning was given (not a decimal integer, or the file system failed)
};
KeyRead ReadStrKey(IniLineReader& in, const std::string& key, std::string& text,
                   const ConfigWarning& warn);
KeyRead ReadIntKey(IniLineReader& in, const std::string& key, std::int32_t& number,
                   const ConfigWarning& warn);
// Byte-wide codes: a decimal integer of which only the low 8 bits are kept.
KeyRead ReadCodeKey(IniLineReader& in, const std::string& key, std::uint8_t& code,
                    const ConfigWarning& warn);
// Exactly "0" is true; anything else, the empty value included, is false.
KeyRead ReadBoolKey(IniLineReader& in, const std::string& key, bool& flag,
                    const ConfigWarning& warn);

// The warning texts of the reader.
std::string InputErrorText(const std::string& key);
std::string TagNotFoundText(const std::string& header);

}  // namespace kb
