#include "engine/nametemplate.h"

#include <cmath>
#include <cstdio>

#include "engine/conditions.h"

namespace kb {

namespace {

const std::vector<std::string_view> kFields = {
    "{name}", "{ext}", "{file}", "{year}", "{month}", "{day}", "{service}", "{rule}", "{counter}"};

std::string TwoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

// A value that can never reach past the folder it is put in.
std::string Contained(std::string_view value) {
    if (value == "." || value == "..") return "_";
    std::string out(value);
    for (char& c : out)
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    return out;
}

// Walks `tmpl`, handing literal text and field names to `emit`; the error
// of the first brace that does not close.
template <typename Emit>
std::string Walk(std::string_view tmpl, Emit emit) {
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        const char c = tmpl[i];
        if ((c == '{' || c == '}') && i + 1 < tmpl.size() && tmpl[i + 1] == c) {
            emit(std::string_view(&tmpl[i], 1), false);
            ++i;
            continue;
        }
        if (c == '}') return "a \"}\" closes no field (write \"}}\" for the brace itself)";
        if (c != '{') {
            emit(std::string_view(&tmpl[i], 1), false);
            continue;
        }
        const std::size_t end = tmpl.find('}', i);
        if (end == std::string_view::npos)
            return "the field at \"" + std::string(tmpl.substr(i)) + "\" is never closed";
        if (std::string e = emit(tmpl.substr(i, end - i + 1), true); !e.empty()) return e;
        i = end;
    }
    return {};
}

}  // namespace

const std::vector<std::string_view>& TemplateFields() { return kFields; }

void CivilDate(double days, int& year, int& month, int& day) {
    // Day 0 is 1899-12-30, which is 25569 days before 1970-01-01.
    const std::int64_t z = static_cast<std::int64_t>(std::floor(days)) - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

FilledTemplate FillTemplate(std::string_view tmpl, const TemplateFile& f, int counter,
                            bool allowCounter) {
    FilledTemplate out;
    int y = 0, m = 0, d = 0;
    CivilDate(f.date, y, m, d);
    std::string_view ext;
    const bool hasExt = FileExtension(f.name, ext);
    const std::string_view stem =
        hasExt ? f.name.substr(0, f.name.size() - ext.size() - 1) : f.name;
    out.error = Walk(tmpl, [&](std::string_view piece, bool field) -> std::string {
        if (!field) {
            out.text += piece;
            return {};
        }
        if (piece == "{name}")
            out.text += Contained(stem);
        else if (piece == "{ext}")
            out.text += Contained(hasExt ? ext : std::string_view());
        else if (piece == "{file}")
            out.text += Contained(f.name);
        else if (piece == "{year}")
            out.text += std::to_string(y);
        else if (piece == "{month}")
            out.text += TwoDigits(m);
        else if (piece == "{day}")
            out.text += TwoDigits(d);
        else if (piece == "{service}")
            out.text += Contained(f.service);
        else if (piece == "{rule}")
            out.text += Contained(f.rule);
        else if (piece == "{counter}" && allowCounter) {
            out.text += std::to_string(counter);
            out.usesCounter = true;
        } else if (piece == "{counter}") {
            return "{counter} belongs in a new name, not in a folder";
        } else {
            return "there is no field " + std::string(piece) +
                   " (the fields: {name} {ext} {file} {year} {month} {day} {service} {rule}" +
                   (allowCounter ? " {counter})" : ")");
        }
        return {};
    });
    if (!out.error.empty()) out.text.clear();
    return out;
}

std::string TemplateError(std::string_view tmpl, bool allowCounter) {
    return FillTemplate(tmpl, TemplateFile{"x.y", 0.0, "s", "r"}, 1, allowCounter).error;
}

bool HasFields(std::string_view tmpl) {
    bool any = false;
    Walk(tmpl, [&](std::string_view, bool field) -> std::string {
        any = any || field;
        return {};
    });
    return any || tmpl.find('{') != std::string_view::npos;
}

std::string FixedPart(std::string_view tmpl) {
    std::size_t open = std::string_view::npos;
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] != '{') continue;
        if (i + 1 < tmpl.size() && tmpl[i + 1] == '{') {
            ++i;
            continue;
        }
        open = i;
        break;
    }
    if (open == std::string_view::npos) return std::string(tmpl);
    const std::size_t sep = tmpl.find_last_of("/\\", open);
    if (sep == std::string_view::npos) return {};
    return std::string(tmpl.substr(0, sep == 0 ? 1 : sep));
}

}  // namespace kb
