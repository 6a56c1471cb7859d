// What the link dispatch and a parameter dialog hand each other: the dialog
// is given one of these, reads what it shows from it and writes its result
// back into it on OK.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "store/model.h"

namespace kb {

struct ParamExchange {
    QString linkName;  // href of the clicked link
    QString linkText;  // its current text; "specified" when nothing is entered yet
    QString caption;   // text input: window caption
    // text input: whether a whole number is asked for (a count or a size)
    // or free text (the extensions)
    enum class Input { Text, WholeNumber } input = Input::Text;
    QString prompt;  // text input: label text
    std::int32_t number = 0;
    // The least number the text input takes: 1 for the newest/oldest
    // counts (none of the files is no rule), 0 elsewhere.
    std::int32_t least = 0;
    std::uint8_t comparison = 0;  // 2 = greater than, 0 = less than
    std::int32_t size = -1;       // KB; -1 = none
    std::int32_t days = -1;       // -1 = none
    QString path;                 // path dialog result; the launch dialog's program
    QString parameters;           // launch parameters
    // Move, copy and rename: the new name (a template) and the choice made
    // when the name is taken; the shared folder, service and rule the
    // examples are drawn from.
    QString newName;
    ConflictMode conflict = ConflictMode::TrashOld;
    QString sampleFolder, serviceName, ruleName;
    // Name conditions: the pattern and whether letter case counts.
    bool matchCase = false;
};

// The link text of a value not entered yet.
inline constexpr const char* kSpecified = "specified";

// A whole number typed into a dialog: decimal with an optional sign, within
// 32 bits; any other text, the empty text and surrounding blanks included,
// is refused. Read by the program's one number parser.
std::optional<std::int32_t> TypedWholeNumber(const QString& text);

}  // namespace kb
