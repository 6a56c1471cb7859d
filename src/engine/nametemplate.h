// Targets and new names filled in per file. A move or copy folder and a new
// name may hold fields in braces:
//   {name}     the file's name without its extension   ("Song" of "Song.mp3")
//   {ext}      its extension without the dot            ("mp3"; "" when none)
//   {file}     its whole name
//   {year} {month} {day}  its modification date, local time ("2026", "03", "07")
//   {service}  the service's name      {rule}  the rule's name
//   {counter}  (new names only) 1, 2, 3, ...: the first that gives a free name
// "{{" and "}}" stand for a brace. A value never adds a folder level: a
// separator in it becomes "_", and "." or ".." becomes "_".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

struct TemplateFile {
    std::string_view name;  // the file's bare name
    double date = 0.0;      // its local modification time, days since 1899-12-30
    std::string_view service;
    std::string_view rule;
};

struct FilledTemplate {
    std::string text;
    std::string error;  // "" when filled
    bool usesCounter = false;
};

// Fills `tmpl` for `f`; `counter` is the value of {counter} (which a folder
// template may not hold: `allowCounter`).
FilledTemplate FillTemplate(std::string_view tmpl, const TemplateFile& f, int counter = 1,
                            bool allowCounter = true);

// Why `tmpl` cannot be filled ("" when it can): a brace left open, a field
// this program does not know.
std::string TemplateError(std::string_view tmpl, bool allowCounter);

// Whether `tmpl` holds any field at all.
bool HasFields(std::string_view tmpl);

// The folder before the first field of a folder template: it must exist,
// everything after it is made as needed (an unplugged drive is never
// recreated as an empty folder in its place). The whole template when it
// holds no field.
std::string FixedPart(std::string_view tmpl);

// The fields, for the editor's insert list: "{year}", ...
const std::vector<std::string_view>& TemplateFields();

// Year, month and day of a day count since 1899-12-30.
void CivilDate(double days, int& year, int& month, int& day);

}  // namespace kb
